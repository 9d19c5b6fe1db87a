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
    std::vector<int> checked_ids; // control ids ui_is_checked answers true for
    std::string directory;        // what ui_directory_text hands out
    std::string version_label;    // the latest ui_set_version_label text
};

extern ui_stub_state ui_stub;

// Forgets every recorded call and every setting.
void ui_stub_reset();
