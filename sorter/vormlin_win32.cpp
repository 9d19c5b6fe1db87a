// The sorter's Windows front end: the entry point, the main dialog's procedure and the
// dialog's side of ui.h. All sorting happens in run(); this file only moves texts and clicks.
// The dialog is a Unicode window: its texts are UTF-16 here and UTF-8 to the engine.
#include "catalogue.h"
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

bool ui_is_checked(int control_id)
{
    return SendMessageW(GetDlgItem(dialog, control_id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string ui_directory_text()
{
    HWND field = GetDlgItem(dialog, IDC_DIRECTORY);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    int length = GetWindowTextW(field, text.data(), static_cast<int>(text.size()));
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return wide_to_utf8(text);
}

void ui_set_version_label(const char *text)
{
    SetWindowTextW(GetDlgItem(dialog, IDC_VERSION), wide(text).c_str());
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
