// The open dialog with its repeat-count panel, the save dialog, and
// shortcuts.
#ifdef _WIN32
#include <windows.h>
#include "app/host/file_dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

#include "app/dialogs/dialog_windows.h"
#include "support/messages.h"
#include "support/text.h"

namespace vesk::host {
namespace {

constexpr wchar_t k_filter[] = L"VSKScript Files (*.VSK)\0*.VSK\0";
constexpr int k_count_id = 1200, k_label_id = 1201;

// Appends [value] to the template in [out], as a WORD.
void put_word(std::vector<WORD>& out, WORD value) { out.push_back(value); }
void put_text(std::vector<WORD>& out, const std::u16string& text) {
  for (char16_t c : text) out.push_back(c);
  out.push_back(0);
}
void align_dword(std::vector<WORD>& out) {
  if (out.size() % 2) out.push_back(0);
}

void put_item(std::vector<WORD>& out, DWORD style, short x, short y, short w, short h, WORD id, WORD klass,
              const std::u16string& text) {
  align_dword(out);
  DLGITEMTEMPLATE item{style | WS_CHILD | WS_VISIBLE, 0, x, y, w, h, id};
  const WORD* raw = reinterpret_cast<const WORD*>(&item);
  out.insert(out.end(), raw, raw + sizeof item / sizeof(WORD));
  put_word(out, 0xFFFF);
  put_word(out, klass);
  put_text(out, text);
  put_word(out, 0);
}

// The extra panel: a child template under the file list.
std::vector<WORD> panel_template() {
  std::vector<WORD> out;
  DLGTEMPLATE dialog{WS_CHILD | WS_VISIBLE | DS_3DLOOK | DS_CONTROL | WS_CLIPSIBLINGS | DS_SETFONT, 0, 2, 0, 0, 260, 18};
  const WORD* raw = reinterpret_cast<const WORD*>(&dialog);
  out.insert(out.end(), raw, raw + sizeof dialog / sizeof(WORD));
  put_word(out, 0);  // no menu
  put_word(out, 0);  // the default class
  put_word(out, 0);  // no title
  put_word(out, 8);
  put_text(out, u"MS Shell Dlg");
  put_item(out, SS_LEFT, 4, 4, 80, 10, k_label_id, 0x0082, message(MessageId::HostNumberOfTimes));
  put_item(out, ES_NUMBER | ES_LEFT | WS_BORDER | WS_TABSTOP, 88, 2, 60, 12, k_count_id, 0x0081, u"1");
  return out;
}

struct OpenState {
  int32_t count = 1;
};

UINT_PTR CALLBACK open_hook(HWND panel, UINT msg, WPARAM, LPARAM lparam) {
  if (msg == WM_INITDIALOG) {
    auto* ofn = reinterpret_cast<OPENFILENAMEW*>(lparam);
    SetWindowLongPtrW(panel, GWLP_USERDATA, static_cast<LONG_PTR>(ofn->lCustData));
    SendDlgItemMessageW(panel, k_count_id, EM_SETLIMITTEXT, 9, 0);
    return TRUE;
  }
  if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lparam)->code == CDN_FILEOK) {
    auto* state = reinterpret_cast<OpenState*>(GetWindowLongPtrW(panel, GWLP_USERDATA));
    BOOL ok = FALSE;
    UINT n = GetDlgItemInt(panel, k_count_id, &ok, FALSE);
    if (state) state->count = ok && n >= 1 ? static_cast<int32_t>(std::min<UINT>(n, 999999999)) : 1;
  }
  return 0;
}

}  // namespace

std::optional<ShortcutTarget> resolve_shortcut(const std::u16string& path) {
  if (!ends_with(ascii_upper(path), u".LNK")) return std::nullopt;
  HRESULT init = CoInitialize(nullptr);
  std::optional<ShortcutTarget> out;
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      if (SUCCEEDED(file->Load(dialogs::wide(path), STGM_READ))) {
        wchar_t target[MAX_PATH] = {}, arguments[1024] = {};
        if (SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, 0)) && target[0]) {
          link->GetArguments(arguments, 1024);
          out = ShortcutTarget{reinterpret_cast<char16_t*>(target), reinterpret_cast<char16_t*>(arguments)};
        }
      }
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return out;
}

std::optional<OpenChoice> open_script_dialog(HWND owner) {
  std::vector<WORD> panel = panel_template();
  std::u16string folder;
  for (int round = 0; round < 16; ++round) {
    wchar_t file[MAX_PATH * 4] = {};
    OpenState state;
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.hInstance = reinterpret_cast<HINSTANCE>(panel.data());
    ofn.lpstrFilter = k_filter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH * 4;
    ofn.lpstrInitialDir = folder.empty() ? nullptr : dialogs::wide(folder);
    ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLETEMPLATEHANDLE | OFN_NODEREFERENCELINKS |
                OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    ofn.lpfnHook = open_hook;
    ofn.lCustData = reinterpret_cast<LPARAM>(&state);
    if (!GetOpenFileNameW(&ofn)) return std::nullopt;
    std::u16string chosen = reinterpret_cast<char16_t*>(file);
    if (std::optional<ShortcutTarget> target = resolve_shortcut(chosen)) {
      DWORD attributes = GetFileAttributesW(dialogs::wide(target->path));
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        folder = target->path;
        continue;
      }
      chosen = target->path + (target->arguments.empty() ? u"" : u" " + target->arguments);
    }
    return OpenChoice{chosen, state.count};
  }
  return std::nullopt;
}

std::optional<std::u16string> save_script_dialog(HWND owner) {
  wchar_t file[MAX_PATH * 4] = {};
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = k_filter;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH * 4;
  ofn.lpstrDefExt = L"VSK";
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
  if (!GetSaveFileNameW(&ofn)) return std::nullopt;
  std::u16string path = reinterpret_cast<char16_t*>(file);
  size_t dot = path.find_last_of(u'.');
  size_t slash = path.find_last_of(u"\\/");
  if (dot != std::u16string::npos && (slash == std::u16string::npos || dot > slash)) path.erase(dot);
  return path + u".VSK";
}

}  // namespace vesk::host
#endif
