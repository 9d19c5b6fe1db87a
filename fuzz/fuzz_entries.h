// The fuzzed entry points, one per input surface. The fuzz targets call them with libFuzzer's
// inputs and the regression test replays kept findings through the same functions. Each
// returns 0, or a nonzero code when the input broke a promise the programs make (the caller
// then fails: libFuzzer by aborting, the test by its expectation).
#pragma once

#include <cstddef>
#include <cstdint>

// Byte 0 chooses the report settings, file name and directory; the rest is the image.
int fuzz_side_report(const std::uint8_t *data, std::size_t size);

// The whole input is ingredients.dat.
int fuzz_catalogue(const std::uint8_t *data, std::size_t size);

// Byte 0 is the options word; the rest is the image, identified against a catalogue made
// by the dumper from a fixed set of generated images.
int fuzz_identify(const std::uint8_t *data, std::size_t size);

// Byte 0 chooses the options, file name and directory, byte 1 the obstacles placed before;
// the rest is the image file, sorted by the sorter's per-file step in a scratch directory.
// Afterwards the image's bytes must still exist in the tree.
int fuzz_process(const std::uint8_t *data, std::size_t size);

// Byte 0 chooses where the journal lies (the scanned or the current directory) and which of a
// few files stand beside it; the rest is the journal, which recovery then reads and acts on.
// Afterwards nothing outside the two directories may have changed, and no bytes may be gone
// but those of a file the journal says the sorter published (or its hidden leftovers).
int fuzz_recovery(const std::uint8_t *data, std::size_t size);

// The files fuzz_recovery places, by path below its run directory, for the seeds to name.
struct fuzz_recovery_file {
    const char *path;
    const char *text;
};
extern const fuzz_recovery_file fuzz_recovery_files[];
extern const std::size_t fuzz_recovery_file_count;

// Problems found by an entry are described here (a text for the person reading the log).
const char *fuzz_last_problem();
