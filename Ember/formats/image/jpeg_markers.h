// JPEG marker codes and classes (ITU T.81 table B.1).
#pragma once

#include <cstdint>

namespace ember {

constexpr uint8_t marker_soi = 0xD8;
constexpr uint8_t marker_eoi = 0xD9;
constexpr uint8_t marker_sos = 0xDA;
constexpr uint8_t marker_dqt = 0xDB;
constexpr uint8_t marker_app2 = 0xE2;
constexpr uint8_t marker_dht = 0xC4;
constexpr uint8_t marker_dri = 0xDD;
constexpr uint8_t marker_dnl = 0xDC;

inline bool is_rst(uint8_t m) { return m >= 0xD0 && m <= 0xD7; }

// Start of frame: C0-CF except DHT (C4), JPG (C8) and DAC (CC).
inline bool is_sof(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

// Markers followed by a two-byte length: everything from C0 to FE except SOI, EOI, RSTn.
inline bool has_length(uint8_t m) { return m >= 0xC0 && m <= 0xFE && m != marker_soi && m != marker_eoi && !is_rst(m); }

// Markers that may end a scan: EOI, or a table or header before the next scan.
inline bool ends_scan(uint8_t m) { return m == marker_eoi || (has_length(m) && m != 0xC8 && !(m >= 0xF0 && m <= 0xFD)); }

}  // namespace ember
