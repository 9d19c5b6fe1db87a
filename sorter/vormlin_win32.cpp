// The sorter's Windows front end: the entry point, the main dialog's procedure and the
// dialog's side of ui.h. All sorting happens in run(); this file only moves texts and clicks.
#include "catalogue.h"
#include "platform.h"
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

constexpr std::size_t field_buffer_size = 255; // the picker's and the start text's buffer
constexpr LONG_PTR class_background = 5;       // a system colour brush: COLOR_MENU + 1
const char pick_prompt[] = "Filename ignored.";

int clamp_to_int(std::size_t size)
{
    return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

// The start-up directory with a backslash always appended, so that a root directory shows
// two. A directory too long for the usual buffer is fetched whole instead of being cut.
void show_start_directory(HWND dlg)
{
    char buffer[field_buffer_size];
    std::string text;
    DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (length > 0 && length < sizeof buffer) {
        text.assign(buffer, length);
    } else if (length >= sizeof buffer) {
        text.resize(length);
        DWORD stored = GetCurrentDirectoryA(length, text.data());
        text.resize(stored < length ? stored : 0);
    }
    text += '\\';
    SetDlgItemTextA(dlg, IDC_DIRECTORY, text.c_str());
}

INT_PTR dlg_init(HWND dlg)
{
    dialog = dlg;
    HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_VORMLIN));
    // On 32-bit Windows these are SetClassLongA with GCL_HICON and GCL_HBRBACKGROUND.
    SetClassLongPtrA(dlg, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
    SetClassLongPtrA(dlg, GCLP_HBRBACKGROUND, class_background);
    show_start_directory(dlg);
    return 1;
}

// A run keeps the dialog's thread until it ends; Start stays disabled meanwhile, so that
// pressing it from inside a message box cannot begin a second run within the first.
INT_PTR dlg_start(HWND dlg)
{
    HWND start = GetDlgItem(dlg, IDC_START);
    EnableWindow(start, FALSE);
    run();
    EnableWindow(start, TRUE);
    return 1;
}

// The save-file dialog serves as directory picker: whatever file name comes back is cut
// off, leaving the chosen directory with its final backslash.
INT_PTR dlg_pick_directory(HWND dlg)
{
    char path[field_buffer_size] = {};
    std::memcpy(path, pick_prompt, sizeof pick_prompt);
    OPENFILENAMEA request = {};
    request.lStructSize = sizeof request;
    request.hwndOwner = dlg;
    request.hInstance = instance;
    request.lpstrFile = path;
    request.nMaxFile = sizeof path;
    request.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOTESTFILECREATE;
    if (!GetSaveFileNameA(&request) || request.nFileOffset >= sizeof path)
        return 1;
    path[request.nFileOffset] = '\0';
    SetDlgItemTextA(dlg, IDC_DIRECTORY, path);
    return 1;
}

INT_PTR dlg_command(HWND dlg, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (LOWORD(wparam)) {
    case IDC_START:
        return dlg_start(dlg);
    case IDC_PICK_DIR:
        return dlg_pick_directory(dlg);
    case IDC_GAMES_LIST:
        write_missing_report(report_games_window);
        return 1;
    default:
        return DefWindowProcA(dlg, message, wparam, lparam) == 0 ? 1 : 0;
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
        return DefWindowProcA(dlg, message, wparam, lparam);
    case WM_DESTROY:
        return dlg_destroy(dlg);
    default:
        return DefWindowProcA(dlg, message, wparam, lparam) == 0 ? 1 : 0;
    }
}

} // namespace

void ui_message(bool owned, const char *text, const char *caption)
{
    MessageBoxA(owned ? dialog : nullptr, text, caption, MB_OK);
}

bool ui_is_checked(int control_id)
{
    return SendMessageA(GetDlgItem(dialog, control_id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ui_directory_text(char *buf, std::size_t size)
{
    if (buf == nullptr || size == 0)
        return;
    buf[0] = '\0';
    GetWindowTextA(GetDlgItem(dialog, IDC_DIRECTORY), buf, clamp_to_int(size));
}

void ui_set_version_label(const char *text)
{
    SetWindowTextA(GetDlgItem(dialog, IDC_VERSION), text);
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
    DialogBoxParamA(this_instance, "VORMLIN", nullptr, dialog_procedure, 0);
    return 0;
}
