// The sorter's options word: one bit per check box of the dialog, and 0x02 always.
#pragma once

inline constexpr unsigned opt_scan = 0x02;            // always set: files are scanned
inline constexpr unsigned opt_zero_save_game = 0x04;  // "&Zero Save Game" (read by nothing)
inline constexpr unsigned opt_zero_unused = 0x08;     // "Zero &Unused Space"
inline constexpr unsigned opt_no_fwnes_header = 0x10; // "No FWnes &Header"
inline constexpr unsigned opt_convert_fam = 0x20;     // "Convert FAM to FDS"
