// Fuzz target for the carvers of one search name (EMBER_FUZZ_FORMAT): each input is offered to
// probe() and, when it accepts, to carve(), which must stay inside the input and give a known
// extension. The input is offered a second time from its second sector on, as part of a source,
// so that the checks of the bytes before a candidate are fuzzed too. Built without libFuzzer,
// replay_main.cpp replays files through it.
#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "core/byte_source.h"
#include "core/carve_input.h"
#include "core/format_registry.h"

namespace {

constexpr size_t max_input = 4 * 1024 * 1024;

const std::vector<const ember::format_t*>& fuzzed_formats() {
    static const std::string_view names[] = {EMBER_FUZZ_FORMAT};
    static const std::vector<const ember::format_t*> formats = ember::formats_named(names);
    return formats;
}

}  // namespace

namespace {

void carve_each(const uint8_t* head, size_t size, ember::carve_input_c& in) {
    for (const ember::format_t* f : fuzzed_formats()) {
        if (!f->probe(head, std::min(size, ember::probe_size))) continue;
        ember::carve_result_t r = f->carve(in);
        if (r.length > size || (r.length != 0 && r.extension == nullptr)) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t sector = 512;
    if (size > max_input) return 0;
    {
        ember::carve_input_c in({data, size});
        carve_each(data, size, in);
    }
    if (size > sector) {
        ember::memory_source_c source({data, size});
        ember::carve_input_c in(source, sector);
        carve_each(data + sector, size - sector, in);
    }
    return 0;
}
