// Fuzz target for the carvers of one search name (EMBER_FUZZ_FORMAT): each input is offered to
// probe() and, when it accepts, to carve(), which must stay inside the input and give a known
// extension. Built without libFuzzer, replay_main.cpp replays files through it.
#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "core/format_registry.h"

namespace {

constexpr size_t max_input = 4 * 1024 * 1024;

const std::vector<const ember::format_t*>& fuzzed_formats() {
    static const std::string_view names[] = {EMBER_FUZZ_FORMAT};
    static const std::vector<const ember::format_t*> formats = ember::formats_named(names);
    return formats;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > max_input) return 0;
    for (const ember::format_t* f : fuzzed_formats()) {
        if (!f->probe(data, std::min(size, ember::probe_size))) continue;
        ember::carve_input_c in({data, size});
        ember::carve_result_t r = f->carve(in);
        if (r.length > size || (r.length != 0 && r.extension == nullptr)) std::abort();
    }
    return 0;
}
