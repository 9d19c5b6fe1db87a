// Test double of the sorter's front end: records what the engine shows and answers its
// questions from tables the tests set.
#pragma once

#include "ui.h"

#include <string>
#include <vector>

struct ui_recorded_message {
    bool owned;
    std::string text;
    std::string caption;
};

struct ui_recorded_file {
    std::string path;
    unsigned outcome;
    std::string what;
    file_fate fate;
    bool rewritten;
    bool split;
};

struct ui_stub_state {
    std::vector<ui_recorded_message> messages;
    std::vector<ui_recorded_file> files;
    std::vector<std::string> notes;
    std::vector<run_progress> progress;
    int stop_after = -1; // ui_progress asks the run to stop once this many files are done
    void (*between_files)(unsigned done) = nullptr; // called after each file, as a user may act
};

extern ui_stub_state ui_stub;

// Forgets every recorded call and every setting.
void ui_stub_reset();
