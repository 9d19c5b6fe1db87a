// The sorter's Windows front end: the entry point, the main dialog's procedure and the
// dialog's side of ui.h. All sorting happens in run(); this file only moves texts and clicks.
// The dialog is a Unicode window: its texts are UTF-16 here and UTF-8 to the engine.
#include "catalogue.h"
#include "options.h"
#include "platform.h"
#include "platform_win32.h"
#include "report.h"
#include "resource.h"
#include "run.h"
#include "ui.h"

#include <climits>
#include <cstring>
#include <string>
#include <windows.h>

#include <commdlg.h>

namespace {

HINSTANCE instance;
HWND dialog;
bool running = false;        // a run holds the dialog's thread
bool stop_requested = false; // the window was closed during that run
std::wstring own_caption;    // the dialog's caption, shown again when a run ends

constexpr std::size_t pick_buffer_size = 255; // the picker's file-name buffer, in characters
constexpr LONG_PTR class_background = 5;      // a system colour brush: COLOR_MENU + 1
const wchar_t pick_prompt[] = L"Filename ignored.";

// Text for the dialog: UTF-8 from the engine as UTF-16.
std::wstring wide(const char *text)
{
    std::wstring out;
    if (!utf8_to_wide(text, &out))
        out.assign(text, text + std::strlen(text)); // not UTF-8: shown byte by byte
    return out;
}

// The start-up directory with a backslash always appended, so that a root directory shows
// two. It is fetched whole, however long.
void show_start_directory(HWND dlg)
{
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    std::wstring text(needed, L'\0');
    DWORD length = needed > 0 ? GetCurrentDirectoryW(needed, text.data()) : 0;
    text.resize(length < needed ? length : 0);
    text += L'\\';
    SetDlgItemTextW(dlg, IDC_DIRECTORY, text.c_str());
}

INT_PTR dlg_init(HWND dlg)
{
    dialog = dlg;
    HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_VORMLIN));
    // On 32-bit Windows these are SetClassLongW with GCL_HICON and GCL_HBRBACKGROUND.
    SetClassLongPtrW(dlg, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
    SetClassLongPtrW(dlg, GCLP_HBRBACKGROUND, class_background);
    show_start_directory(dlg);
    return 1;
}

// The options word from the check boxes.
unsigned read_options(HWND dlg)
{
    static constexpr struct {
        int box;
        unsigned bit;
    } boxes[] = {{IDC_ZERO_SAVE, opt_zero_save_game},
                 {IDC_ZERO_UNUSED, opt_zero_unused},
                 {IDC_NO_HEADER, opt_no_fwnes_header},
                 {IDC_CONVERT_FAM, opt_convert_fam}};
    unsigned options = opt_scan;
    for (const auto &b : boxes) {
        if (IsDlgButtonChecked(dlg, b.box) == BST_CHECKED)
            options |= b.bit;
    }
    return options;
}

std::wstring window_text(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    int length = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

// A run keeps the dialog's thread until it ends, repainting it between files (ui_progress);
// Start stays disabled and every other command is ignored meanwhile, so that nothing can
// begin a second run, or move the current directory, within the first. A window closed
// during the run goes once the run has stopped.
INT_PTR dlg_start(HWND dlg)
{
    HWND start = GetDlgItem(dlg, IDC_START);
    EnableWindow(start, FALSE);
    own_caption = window_text(dlg);
    running = true;
    run(run_request{read_options(dlg), wide_to_utf8(window_text(GetDlgItem(dlg, IDC_DIRECTORY)))});
    running = false;
    SetWindowTextW(dlg, own_caption.c_str());
    EnableWindow(start, TRUE);
    if (stop_requested)
        DestroyWindow(dlg);
    return 1;
}

// The save-file dialog serves as directory picker: whatever file name comes back is cut
// off, leaving the chosen directory with its final backslash.
INT_PTR dlg_pick_directory(HWND dlg)
{
    wchar_t path[pick_buffer_size] = {};
    std::memcpy(path, pick_prompt, sizeof pick_prompt);
    OPENFILENAMEW request = {};
    request.lStructSize = sizeof request;
    request.hwndOwner = dlg;
    request.hInstance = instance;
    request.lpstrFile = path;
    request.nMaxFile = pick_buffer_size;
    request.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOTESTFILECREATE;
    if (!GetSaveFileNameW(&request) || request.nFileOffset >= pick_buffer_size)
        return 1;
    path[request.nFileOffset] = L'\0';
    SetDlgItemTextW(dlg, IDC_DIRECTORY, path);
    return 1;
}

INT_PTR dlg_command(HWND dlg, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (running)
        return 1; // a command from inside one of the run's message boxes
    switch (LOWORD(wparam)) {
    case IDC_START:
        return dlg_start(dlg);
    case IDC_PICK_DIR:
        return dlg_pick_directory(dlg);
    case IDC_GAMES_LIST:
        write_missing_report(report_games_window);
        return 1;
    default:
        return DefWindowProcW(dlg, message, wparam, lparam) == 0 ? 1 : 0;
    }
}

INT_PTR dlg_destroy(HWND dlg)
{
    release_catalogue();
    EndDialog(dlg, 0);
    PostQuitMessage(0);
    return 1;
}

// Escape arrives as a command from IDCANCEL and is left to the default procedure, which
// ignores it; the close box reaches the default procedure as WM_CLOSE and destroys the
// window, and WM_DESTROY ends the program.
INT_PTR CALLBACK dialog_procedure(HWND dlg, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        return dlg_init(dlg);
    case WM_COMMAND:
        return dlg_command(dlg, message, wparam, lparam);
    case WM_PAINT:
        return DefWindowProcW(dlg, message, wparam, lparam);
    case WM_CLOSE:
        if (!running)
            return DefWindowProcW(dlg, message, wparam, lparam) == 0 ? 1 : 0;
        stop_requested = true; // the run stops before its next file, then the window goes
        return 1;
    case WM_DESTROY:
        return dlg_destroy(dlg);
    default:
        return DefWindowProcW(dlg, message, wparam, lparam) == 0 ? 1 : 0;
    }
}

} // namespace

void ui_message(bool owned, const char *text, const char *caption)
{
    MessageBoxW(owned ? dialog : nullptr, wide(text).c_str(), wide(caption).c_str(), MB_OK);
}

// Input a run holds off: keys and clicks in the window. The title bar's messages, and so the
// close box and Alt+F4, go through.
static bool is_held_off(UINT message)
{
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST && message != WM_SYSKEYDOWN &&
            message != WM_SYSKEYUP) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

// "1,234"
static std::wstring grouped(unsigned n)
{
    std::wstring digits = std::to_wstring(n), out;
    for (std::size_t i = 0; i < digits.size(); i++) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += L',';
        out += digits[i];
    }
    return out;
}

// The row count on the label once the catalogue is loaded; then the count of files in the
// caption, and every waiting message but held-off input handled, so that the window stays
// alive through a long run.
bool ui_progress(const run_progress *progress)
{
    if (progress->done == 0)
        SetWindowTextW(GetDlgItem(dialog, IDC_VERSION),
                       (std::to_wstring(progress->rows) + L"!").c_str());
    else
        SetWindowTextW(dialog, (own_caption + L" \u2014 " + grouped(progress->done) + L" of " +
                                grouped(progress->total))
                                   .c_str());
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            stop_requested = true;
            break;
        }
        if (!is_held_off(msg.message))
            DispatchMessageW(&msg);
    }
    return !stop_requested;
}

void ui_file_done(const file_report *)
{
}

void ui_note(const char *)
{
}

int WINAPI WinMain(HINSTANCE this_instance, HINSTANCE, LPSTR, int)
{
    plat_init();
    instance = this_instance;
    DialogBoxParamW(this_instance, L"VORMLIN", nullptr, dialog_procedure, 0);
    return 0;
}
