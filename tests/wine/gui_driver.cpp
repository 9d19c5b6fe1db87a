// Works the real dialog of vormlin.exe (under Wine, or on Windows): starts it, checks the
// template and every control, runs it through its message boxes, tries Enter, Escape, the
// picker and the close box. One "ok - " or "FAIL - " line per check; exit status: failures.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char usage[] =
    "usage: gui_driver VORMLIN_EXE WORK_DIR COLLECTION_DIR CATALOGUE LABEL PICK_DIR FAIL_DIR\n"
    "                  LONG_DIR [--shot]\n"
    "       gui_driver --start-dirs VORMLIN_EXE DIR...\n"
    "       gui_driver --close-mid-run VORMLIN_EXE WORK_DIR LONG_DIR\n"
    "       gui_driver --close-at-box VORMLIN_EXE WORK_DIR DIR\n"
    "       gui_driver --shot-only VORMLIN_EXE DIR\n"
    "The second form only starts the program in each DIR, checks the directory field, closes.\n"
    "The third starts a run of LONG_DIR and closes the window while it goes; the next one\n"
    "closes it while the run's first box (WORK_DIR's catalogue has a field too long) is up;\n"
    "the last holds the dialog up for a screenshot (shot.ready, shot.done), then closes it.\n"
    "  WORK_DIR        vormlin's current directory; must not hold ingredients.dat yet\n"
    "  COLLECTION_DIR  sorted with boxes 1002 and 1008 checked, twice (Start, then Enter)\n"
    "  CATALOGUE       copied into WORK_DIR as ingredients.dat after the first run\n"
    "  LABEL           what label 1004 shows once the catalogue is loaded, e.g. 8!\n"
    "  PICK_DIR        an existing directory to choose with the picker\n"
    "  FAIL_DIR        a folder with junk.fds and a plain file bad: junk.fds cannot be placed\n"
    "  LONG_DIR        a folder of many images, for a run long enough to watch\n"
    "  --shot          after the first sorting run write shot.ready (the dialog's screen\n"
    "                  rectangle as WxH+X+Y) and wait for shot.done, for a screenshot\n";

constexpr DWORD patience_ms = 60000; // bound of every wait; a first start under Wine is slow

int passed = 0;
int failed = 0;
PROCESS_INFORMATION child = {};

void check(bool ok, const std::string &what, const std::string &detail = std::string())
{
    if (ok) {
        passed++;
        std::printf("ok - %s\n", what.c_str());
    } else {
        failed++;
        std::printf("FAIL - %s%s%s\n", what.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    }
    std::fflush(stdout);
}

void check_text(const std::string &got, const std::string &want, const std::string &what)
{
    check(got == want, what, "got \"" + got + "\", want \"" + want + "\"");
}

bool child_running()
{
    return WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT;
}

// Polls until done() holds; gives up when the program has ended or the bound has passed.
template <typename Pred> bool wait_until(Pred done)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (!child_running() || GetTickCount() - start > patience_ms)
            return done();
        Sleep(10);
    }
    return true;
}

// A control's text, asked with WM_GETTEXT: another process's controls keep their own text.
std::string control_text(HWND control)
{
    char buf[1024] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf),
                             SMTO_ABORTIFHUNG, patience_ms, &length))
        return "<no answer>";
    return std::string(buf, length < sizeof buf ? length : sizeof buf - 1);
}

void set_control_text(HWND control, const std::string &text)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, patience_ms, &result);
}

std::string class_of(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string caption_of(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

struct window_search {
    HWND skip;
    const char *caption; // exact, case included; nullptr for any
    HWND found;
};

BOOL CALLBACK match_dialog_window(HWND window, LPARAM param)
{
    auto *search = reinterpret_cast<window_search *>(param);
    if (window == search->skip || !IsWindowVisible(window) || class_of(window) != "#32770")
        return TRUE;
    if (search->caption != nullptr && caption_of(window) != search->caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

// A visible dialog-class window of the program other than skip. FindWindowA would not do:
// it compares captions without case, and "VORMLIN" would find the main dialog "Vormlin".
HWND find_dialog_window(const char *caption, HWND skip)
{
    window_search search = {skip, caption, nullptr};
    EnumThreadWindows(child.dwThreadId, match_dialog_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND wait_for_dialog_window(const char *caption, HWND skip)
{
    HWND found = nullptr;
    wait_until([&] { return (found = find_dialog_window(caption, skip)) != nullptr; });
    return found;
}

BOOL CALLBACK collect_static_text(HWND window, LPARAM param)
{
    if (class_of(window) == "Static")
        *reinterpret_cast<std::string *>(param) += control_text(window);
    return TRUE;
}

// A message box's text: its static children's texts (their ids differ between systems).
std::string box_text(HWND box)
{
    std::string text;
    EnumChildWindows(box, collect_static_text, reinterpret_cast<LPARAM>(&text));
    return text;
}

void press_and_wait_gone(HWND window, WPARAM command)
{
    PostMessageA(window, WM_COMMAND, command, 0);
    wait_until([&] { return !IsWindow(window); });
}

bool file_exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string full_path(const char *path)
{
    char buf[1024] = {};
    DWORD length = GetFullPathNameA(path, sizeof buf, buf, nullptr);
    return length > 0 && length < sizeof buf ? std::string(buf) : std::string(path);
}

struct expected_control {
    int id;
    const char *class_name;
    const char *text; // nullptr: checked elsewhere
    int x, y, cx, cy; // dialog units
    bool enabled;
    LONG style_mask;
    LONG style;
};

constexpr LONG button_type = 0x0F;
constexpr LONG static_bits = SS_TYPEMASK | SS_NOTIFY | SS_SUNKEN;

// The template, in its order.
const expected_control template_controls[] = {
    {1, "Button", "&Start", 141, 25, 50, 14, true, button_type, BS_DEFPUSHBUTTON},
    {1000, "Edit", nullptr, 5, 80, 195, 10, true, ES_AUTOHSCROLL, ES_AUTOHSCROLL},
    {1001, "Button", "&Zero Save Game", 20, 10, 80, 10, false, button_type, BS_AUTOCHECKBOX},
    {1002, "Button", "Zero &Unused Space", 20, 20, 80, 10, true, button_type, BS_AUTOCHECKBOX},
    {1004, "Static", "v2.2", 125, 10, 30, 10, true, static_bits, SS_CENTER | SS_SUNKEN},
    {1003, "Button", "?", 161, 10, 15, 10, false, button_type, BS_PUSHBUTTON},
    {1005, "Static", "Directory (click here to change)", 10, 65, 105, 10, true, static_bits,
     SS_LEFT | SS_NOTIFY | SS_SUNKEN},
    {0xFFFF, "Button", "Options", 5, 0, 195, 55, true, button_type, BS_GROUPBOX},
    {1006, "Button", "GL", 175, 10, 15, 10, false, button_type, BS_PUSHBUTTON},
    {1007, "Button", "No FWnes &Header", 20, 30, 80, 10, true, button_type, BS_AUTOCHECKBOX},
    {1008, "Button", "Convert FAM to FDS", 20, 40, 80, 10, true, button_type, BS_AUTOCHECKBOX},
};

bool close_to(LONG got, double want)
{
    double d = static_cast<double>(got) - want;
    return d > -2.0 && d < 2.0;
}

// Position and size against the template, in pixels of this dialog's own unit: the client
// area is 207 x 95 units.
void check_geometry(HWND dlg, HWND control, const expected_control &expected,
                    const std::string &name)
{
    RECT client, box;
    GetClientRect(dlg, &client);
    GetWindowRect(control, &box);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT *>(&box), 2);
    double sx = client.right / 207.0;
    double sy = client.bottom / 95.0;
    bool ok = close_to(box.left, expected.x * sx) && close_to(box.top, expected.y * sy) &&
              close_to(box.right, (expected.x + expected.cx) * sx) &&
              close_to(box.bottom, (expected.y + expected.cy) * sy);
    char detail[160];
    std::snprintf(detail, sizeof detail, "at %ld,%ld-%ld,%ld px, unit %.2f x %.2f px", box.left,
                  box.top, box.right, box.bottom, sx, sy);
    check(ok, name + " sits where the template puts it", detail);
}

void check_control(HWND dlg, HWND control, const expected_control &expected)
{
    std::string name = "control " + std::to_string(expected.id);
    check(control != nullptr, name + " exists");
    if (control == nullptr)
        return;
    check_text(class_of(control), expected.class_name, name + " class");
    if (expected.text != nullptr)
        check_text(control_text(control), expected.text, name + " text");
    check((IsWindowEnabled(control) != FALSE) == expected.enabled,
          name + (expected.enabled ? " enabled" : " disabled"));
    LONG style = GetWindowLongA(control, GWL_STYLE);
    check((style & expected.style_mask) == expected.style, name + " style",
          "style " + std::to_string(style));
    check_geometry(dlg, control, expected, name);
}

void check_template_order(HWND dlg)
{
    std::string got, want;
    for (const expected_control &expected : template_controls)
        want += std::to_string(expected.id) + " ";
    for (HWND c = GetWindow(dlg, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
        got += std::to_string(GetDlgCtrlID(c) & 0xFFFF) + " ";
    check_text(got, want, "controls come in template order");
}

void check_dialog_window(HWND dlg)
{
    LONG style = GetWindowLongA(dlg, GWL_STYLE);
    LONG ex_style = GetWindowLongA(dlg, GWL_EXSTYLE);
    LONG frame = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    check((style & frame) == frame, "dialog is a popup with caption and system menu");
    check((ex_style & WS_EX_DLGMODALFRAME) != 0, "dialog has a modal frame");
    RECT r;
    GetWindowRect(dlg, &r);
    double mid_x = (r.left + r.right) / 2.0, mid_y = (r.top + r.bottom) / 2.0;
    check(close_to(static_cast<LONG>(mid_x), GetSystemMetrics(SM_CXSCREEN) / 2.0) &&
              close_to(static_cast<LONG>(mid_y), GetSystemMetrics(SM_CYSCREEN) / 2.0),
          "dialog is centred on the screen");
    check(GetWindow(dlg, GW_OWNER) == nullptr, "dialog has no owner");
}

// Skips a string or ordinal field of a dialog template.
const WORD *skip_sz_or_ord(const WORD *p)
{
    if (*p == 0xFFFF)
        return p + 2;
    while (*p != 0)
        p++;
    return p + 1;
}

std::string narrow(const WORD *p)
{
    std::string s;
    for (; *p != 0; p++)
        s += static_cast<char>(*p);
    return s;
}

void check_template_header(const DLGTEMPLATE *t)
{
    check(t->cdit == 11 && t->cx == 207 && t->cy == 95, "template VORMLIN: 11 controls, 207 x 95");
    DWORD want = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT;
    check((t->style & want) == want, "template style: popup, caption, system menu, modal, centred");
    const WORD *p = reinterpret_cast<const WORD *>(t + 1);
    p = skip_sz_or_ord(p); // menu
    p = skip_sz_or_ord(p); // class
    check_text(narrow(p), "Vormlin", "template caption");
    p = skip_sz_or_ord(p);
    WORD points = *p++;
    check(points == 8 && narrow(p) == "MS Sans Serif", "template font 8 MS Sans Serif",
          std::to_string(points) + " " + narrow(p));
}

void check_resources(const std::string &exe)
{
    HMODULE image = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    check(image != nullptr, "program's resources can be read");
    if (image == nullptr)
        return;
    check(FindResourceA(image, MAKEINTRESOURCEA(103), MAKEINTRESOURCEA(14)) != nullptr,
          "icon resource 103 exists");
    HRSRC manifest = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    std::string text;
    if (manifest != nullptr)
        text.assign(static_cast<const char *>(LockResource(LoadResource(image, manifest))),
                    SizeofResource(image, manifest));
    for (const char *part : {"Microsoft.Windows.Common-Controls", "<dpiAware", "<supportedOS"})
        check(text.find(part) != std::string::npos,
              std::string("the manifest (resource 1) names ") + part);
    HRSRC dialog = FindResourceA(image, "VORMLIN", MAKEINTRESOURCEA(5));
    check(dialog != nullptr, "dialog template VORMLIN exists");
    if (dialog != nullptr)
        check_template_header(
            static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(image, dialog))));
    FreeLibrary(image);
}

bool start_program(const std::string &exe, const std::string &work)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string command = "\"" + exe + "\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    return CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          work.c_str(), &startup, &child) != FALSE;
}

struct session {
    std::string exe, work, collection, catalogue, label, pick, fail, long_run;
    bool shot;
    HWND dlg;
    HWND start, field, version, picker_label;
};

void check_initial_state(session &s)
{
    for (const expected_control &expected : template_controls)
        check_control(s.dlg, GetDlgItem(s.dlg, expected.id), expected);
    check_template_order(s.dlg);
    check_dialog_window(s.dlg);
    check_text(control_text(s.field), s.work + "\\",
               "directory field shows the start-up directory and a backslash");
}

// Presses Start (posted: the program may sit in a message box) and waits for the box that
// ends the run; Start must be disabled while the box is up.
HWND run_and_wait_box(session &s, const char *caption)
{
    PostMessageA(s.start, BM_CLICK, 0, 0);
    HWND box = wait_for_dialog_window(caption, s.dlg);
    check(box != nullptr, std::string("a run ends with a \"") + caption + "\" box");
    if (box != nullptr)
        check(!IsWindowEnabled(s.start), "Start is disabled while the run's box is up");
    return box;
}

void close_box_and_wait_start(session &s, HWND box)
{
    press_and_wait_gone(box, IDOK);
    check(wait_until([&] { return IsWindowEnabled(s.start) != FALSE; }),
          "OK closes the box and Start is enabled again");
}

void check_missing_catalogue(session &s)
{
    HWND box = run_and_wait_box(s, "VORMLIN");
    if (box == nullptr)
        return;
    check_text(box_text(box), "Error getting ingredients.", "missing catalogue box text");
    check(GetWindow(box, GW_OWNER) == s.dlg, "the box is owned by the dialog");
    close_box_and_wait_start(s, box);
    check_text(control_text(s.version), "v2.2", "label unchanged without a catalogue");
    check(!file_exists(s.work + "\\miss.txt"), "no miss.txt without a catalogue");
}

void check_boxes(session &s, int id, bool on)
{
    HWND box = GetDlgItem(s.dlg, id);
    DWORD_PTR result = 0;
    SendMessageTimeoutA(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0, SMTO_ABORTIFHUNG,
                        patience_ms, &result);
    SendMessageTimeoutA(box, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, patience_ms, &result);
    check((result == BST_CHECKED) == on, "check box " + std::to_string(id) + " set");
}

// Hands the dialog's screen rectangle to the script, which takes the picture meanwhile.
void take_screenshot(session &s)
{
    RECT r;
    GetWindowRect(s.dlg, &r);
    std::FILE *ready = std::fopen("shot.ready.tmp", "w");
    if (ready != nullptr) {
        std::fprintf(ready, "%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        std::fclose(ready);
        MoveFileA("shot.ready.tmp", "shot.ready");
    }
    check(wait_until([] { return file_exists("shot.done"); }), "screenshot taken");
}

void check_sorting_run(session &s)
{
    check(CopyFileA(s.catalogue.c_str(), (s.work + "\\ingredients.dat").c_str(), TRUE) != FALSE,
          "catalogue copied into the start-up directory");
    set_control_text(s.field, s.collection); // no final backslash: the run appends one
    check_boxes(s, 1002, true);
    check_boxes(s, 1008, true);
    HWND box = run_and_wait_box(s, "VORMLIN");
    if (box == nullptr)
        return;
    check_text(box_text(box), "Done!", "sorting run box text");
    check_text(control_text(s.version), s.label, "label shows the catalogue's row count");
    check(file_exists(s.work + "\\miss.txt"), "miss.txt written into the start-up directory");
    close_box_and_wait_start(s, box);
    if (s.shot)
        take_screenshot(s);
}

void post_key(HWND target, WPARAM key)
{
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

// Posted messages arrive in order: when the box of the Enter run shows, Escape before it
// has been handled, and the dialog must still be there.
void check_keys(session &s)
{
    post_key(s.field, VK_ESCAPE);
    post_key(s.field, VK_RETURN);
    HWND box = wait_for_dialog_window("VORMLIN", s.dlg);
    check(box != nullptr, "Enter starts a run");
    check(IsWindow(s.dlg) && IsWindowVisible(s.dlg), "Escape leaves the dialog open");
    if (box == nullptr)
        return;
    check_text(box_text(box), "Done!", "Enter run box text");
    close_box_and_wait_start(s, box);
}

void check_games_list(session &s)
{
    std::string miss = s.work + "\\miss.txt";
    FILETIME before = {}, after = {};
    HANDLE f = CreateFileA(miss.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    GetFileTime(f, nullptr, nullptr, &before);
    CloseHandle(f);
    PostMessageA(s.dlg, WM_COMMAND, MAKEWPARAM(1006, BN_CLICKED), 0);
    HWND box = wait_for_dialog_window("Not Implemented", s.dlg);
    check(box != nullptr, "games list command shows its box");
    if (box == nullptr)
        return;
    check_text(box_text(box),
               "This is supposed to show a window with available games.\nFor now, run this in "
               "an empty dir and read miss.txt",
               "games list box text");
    check(GetWindow(box, GW_OWNER) == nullptr, "games list box has no owner");
    press_and_wait_gone(box, IDOK);
    f = CreateFileA(miss.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    GetFileTime(f, nullptr, nullptr, &after);
    CloseHandle(f);
    check(CompareFileTime(&before, &after) == 0, "games list leaves miss.txt alone");
}

// The dialog's caption as Windows keeps it (wide: a run's caption holds an em dash).
std::wstring wide_caption(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// While a run goes: the caption counts its files ("Vormlin — k of n") and the window
// answers a message within a second. Waits for the first such caption.
bool watch_progress(session &s)
{
    const std::wstring prefix = L"Vormlin \u2014 ";
    bool counting = wait_until([&] { return wide_caption(s.dlg).rfind(prefix, 0) == 0; });
    std::wstring caption = wide_caption(s.dlg);
    check(counting && caption.find(L" of ") != std::wstring::npos,
          "the caption counts the files while the run goes");
    DWORD_PTR result = 0;
    check(SendMessageTimeoutA(s.dlg, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0,
          "the dialog answers within a second while it sorts");
    return counting;
}

// A long run: the caption counts, the window stays alive, and the caption is the dialog's
// own again once the run has ended.
void check_long_run(session &s)
{
    set_control_text(s.field, s.long_run);
    PostMessageA(s.start, BM_CLICK, 0, 0);
    watch_progress(s);
    HWND box = wait_for_dialog_window("VORMLIN", s.dlg);
    check(box != nullptr && box_text(box).rfind("Done!", 0) == 0, "the long run ends with Done!");
    if (box != nullptr)
        close_box_and_wait_start(s, box);
    check(wide_caption(s.dlg) == L"Vormlin", "the caption is the dialog's own again");
}

// A file that cannot be placed and a miss.txt that cannot be written: the box says both.
void check_failed_run(session &s)
{
    std::string miss = s.work + "\\miss.txt", kept = s.work + "\\miss.kept";
    check(MoveFileA(miss.c_str(), kept.c_str()) && CreateDirectoryA(miss.c_str(), nullptr),
          "a directory stands at miss.txt");
    set_control_text(s.field, s.fail);
    HWND box = run_and_wait_box(s, "VORMLIN");
    if (box == nullptr)
        return;
    check_text(box_text(box), "miss.txt was not written: it is not a regular file.",
               "the box that says miss.txt stands in the way");
    press_and_wait_gone(box, IDOK);
    box = wait_for_dialog_window("VORMLIN", s.dlg);
    check(box != nullptr, "then the box that ends the run");
    if (box == nullptr)
        return;
    check_text(box_text(box),
               "Done!\n\n1 file was left where it was:\n" + s.fail +
                   "\\junk.fds: no disk side; could not be moved into bad\n\nmiss.txt was not "
                   "written.",
               "Done! says which file was left and that miss.txt was not written");
    close_box_and_wait_start(s, box);
    RemoveDirectoryA(miss.c_str());
    MoveFileA(kept.c_str(), miss.c_str());
}

// A directory field longer than a run can read is refused, and nothing is done.
void check_long_field(session &s)
{
    std::string before = control_text(s.field);
    set_control_text(s.field, s.work + "\\" + std::string(300, 'd'));
    HWND box = run_and_wait_box(s, "VORMLIN");
    if (box == nullptr)
        return;
    check_text(box_text(box), "The directory name is too long.", "a field too long is refused");
    close_box_and_wait_start(s, box);
    check(!file_exists(s.work + "\\miss.txt"), "no miss.txt after the refusal");
    set_control_text(s.field, before);
}

struct edit_search {
    const char *text;
    HWND found;
};

BOOL CALLBACK match_edit(HWND window, LPARAM param)
{
    auto *search = reinterpret_cast<edit_search *>(param);
    if (class_of(window) != "Edit" || control_text(window) != search->text)
        return TRUE;
    search->found = window;
    return FALSE;
}

// Clicks the label and waits for the save-file dialog; its file-name field is the edit that
// holds the prompt text.
HWND open_picker(session &s, HWND *name_field)
{
    PostMessageA(s.picker_label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    PostMessageA(s.picker_label, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    HWND picker = wait_for_dialog_window(nullptr, s.dlg);
    check(picker != nullptr && GetWindow(picker, GW_OWNER) == s.dlg,
          "the label opens a picker owned by the dialog");
    edit_search search = {"Filename ignored.", nullptr};
    if (picker != nullptr)
        EnumChildWindows(picker, match_edit, reinterpret_cast<LPARAM>(&search));
    check(search.found != nullptr, "picker's file name is pre-filled");
    *name_field = search.found;
    return picker;
}

void check_picker(session &s)
{
    std::string before = control_text(s.field);
    HWND name_field = nullptr;
    HWND picker = open_picker(s, &name_field);
    if (picker == nullptr)
        return;
    press_and_wait_gone(picker, IDCANCEL);
    check(!IsWindow(picker), "cancel closes the picker");
    check_text(control_text(s.field), before, "cancelling the picker changes nothing");
    picker = open_picker(s, &name_field);
    if (picker == nullptr || name_field == nullptr)
        return;
    set_control_text(name_field, s.pick + "\\Filename ignored.");
    press_and_wait_gone(picker, IDOK);
    check(!IsWindow(picker), "OK closes the picker");
    check(wait_until([&] { return control_text(s.field) == s.pick + "\\"; }),
          "picked directory with its backslash goes into the field",
          "field \"" + control_text(s.field) + "\"");
}

void check_close(session &s)
{
    PostMessageA(s.dlg, WM_CLOSE, 0, 0);
    bool ended = WaitForSingleObject(child.hProcess, patience_ms) == WAIT_OBJECT_0;
    check(ended, "the close box ends the program");
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    check(ended && code == 0, "exit code 0", std::to_string(code));
}

// Ends the program if a failed check left it running (only our own child), and lets go of it.
void end_child()
{
    if (child_running()) {
        TerminateProcess(child.hProcess, 99);
        WaitForSingleObject(child.hProcess, patience_ms);
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    child = {};
}

void work_the_dialog(session &s)
{
    HWND dlg = wait_for_dialog_window("Vormlin", nullptr);
    check(dlg != nullptr, "the dialog \"Vormlin\" appears");
    if (dlg == nullptr)
        return;
    s.dlg = dlg;
    s.start = GetDlgItem(dlg, 1);
    s.field = GetDlgItem(dlg, 1000);
    s.version = GetDlgItem(dlg, 1004);
    s.picker_label = GetDlgItem(dlg, 1005);
    check_initial_state(s);
    check_missing_catalogue(s);
    check_long_field(s);
    check_sorting_run(s);
    check_keys(s);
    check_games_list(s);
    check_failed_run(s);
    check_long_run(s);
    check_picker(s);
    check_close(s);
}

} // namespace

// Each start-up directory shows in the field with a backslash appended: a root directory
// ends in two, and one too long for the usual buffer still shows whole.
void check_start_directories(const std::string &exe, int count, char **dirs)
{
    for (int k = 0; k < count; k++) {
        std::string dir = full_path(dirs[k]);
        if (!start_program(exe, dir)) {
            check(false, "vormlin starts in " + dir, std::to_string(GetLastError()));
            continue;
        }
        session s = {};
        s.dlg = wait_for_dialog_window("Vormlin", nullptr);
        check(s.dlg != nullptr, "the dialog appears");
        if (s.dlg != nullptr) {
            check_text(control_text(GetDlgItem(s.dlg, 1000)), dir + "\\",
                       "field shows " + std::to_string(dir.size()) +
                           "-character start-up directory");
            check_close(s);
        }
        end_child();
    }
}

// Starts the program in dir and waits for its dialog; the dialog, or nullptr after a failed
// check.
HWND start_dialog(const std::string &exe, const std::string &dir)
{
    if (!start_program(exe, dir)) {
        check(false, "vormlin starts", std::to_string(GetLastError()));
        return nullptr;
    }
    HWND dlg = wait_for_dialog_window("Vormlin", nullptr);
    check(dlg != nullptr, "the dialog appears");
    return dlg;
}

// Closes the dialog, which must then stop its run and end the program with 0.
void close_and_expect_end(HWND dlg, const std::string &what)
{
    PostMessageA(dlg, WM_CLOSE, 0, 0);
    bool ended = WaitForSingleObject(child.hProcess, patience_ms) == WAIT_OBJECT_0;
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    check(ended && code == 0, what + ", the run stops and the program ends (0)",
          std::to_string(code));
}

// Closes the window while a run of the long directory goes: the program must stop after the
// file at hand and end, without a Done! box.
void check_close_mid_run(const std::string &exe, const std::string &work,
                         const std::string &long_dir)
{
    session s = {};
    s.dlg = start_dialog(exe, work);
    if (s.dlg != nullptr) {
        s.field = GetDlgItem(s.dlg, 1000);
        s.start = GetDlgItem(s.dlg, 1);
        set_control_text(s.field, long_dir);
        PostMessageA(s.start, BM_CLICK, 0, 0);
        if (watch_progress(s))
            close_and_expect_end(s.dlg, "closed during a run");
    }
    end_child();
}

// Closes the window while the catalogue's "record too long" box (which has no owner, so the
// window can be closed) is up: once the box is answered, the run stops before any file.
void check_close_at_box(const std::string &exe, const std::string &work, const std::string &dir)
{
    HWND dlg = start_dialog(exe, work);
    if (dlg != nullptr) {
        set_control_text(GetDlgItem(dlg, 1000), dir);
        PostMessageA(GetDlgItem(dlg, 1), BM_CLICK, 0, 0);
        HWND box = wait_for_dialog_window("fstrtok", dlg);
        check(box != nullptr, "the catalogue's box is up");
        PostMessageA(dlg, WM_CLOSE, 0, 0);
        if (box != nullptr)
            press_and_wait_gone(box, IDOK);
        close_and_expect_end(dlg, "closed while the box was up");
    }
    end_child();
}

// Holds the dialog up for the script's screenshot, then closes it.
void hold_for_screenshot(const std::string &exe, const std::string &dir)
{
    session s = {};
    s.dlg = start_dialog(exe, dir);
    if (s.dlg != nullptr) {
        // Once its queue is empty the dialog has painted; the second is for the server.
        DWORD_PTR result = 0;
        SendMessageTimeoutA(s.dlg, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, patience_ms, &result);
        Sleep(1000);
        take_screenshot(s);
        check_close(s);
    }
    end_child();
}

int main(int argc, char **argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--start-dirs") == 0) {
        check_start_directories(full_path(argv[2]), argc - 3, argv + 3);
    } else if (argc == 5 && std::strcmp(argv[1], "--close-mid-run") == 0) {
        check_close_mid_run(full_path(argv[2]), full_path(argv[3]), full_path(argv[4]));
    } else if (argc == 5 && std::strcmp(argv[1], "--close-at-box") == 0) {
        check_close_at_box(full_path(argv[2]), full_path(argv[3]), full_path(argv[4]));
    } else if (argc == 4 && std::strcmp(argv[1], "--shot-only") == 0) {
        hold_for_screenshot(full_path(argv[2]), full_path(argv[3]));
    } else if (argc < 9 || argc > 10 || (argc == 10 && std::strcmp(argv[9], "--shot") != 0)) {
        std::fputs(usage, stderr);
        return 2;
    } else {
        session s = {full_path(argv[1]),
                     full_path(argv[2]),
                     full_path(argv[3]),
                     full_path(argv[4]),
                     argv[5],
                     full_path(argv[6]),
                     full_path(argv[7]),
                     full_path(argv[8]),
                     argc == 10,
                     nullptr,
                     nullptr,
                     nullptr,
                     nullptr,
                     nullptr};
        check_resources(s.exe);
        bool started = start_program(s.exe, s.work);
        check(started, "vormlin starts", std::to_string(GetLastError()));
        if (started) {
            work_the_dialog(s);
            end_child();
        }
    }
    std::printf("gui: %d passed, %d failed\n", passed, failed);
    return failed;
}
