#include "input_box.h"

#include "designed_window.h"
#include "platform/win32/wide_text.h"
#include "resource_ids.h"

namespace pellorin::win32ui {
namespace {

struct Question {
  std::wstring prompt, title, text;
  HWND owner;
};

void CenterOverOwner(HWND dialog, HWND owner) {
  RECT area{}, own{};
  ::GetWindowRect(owner, &area);
  ::GetWindowRect(dialog, &own);
  const int left = area.left + (area.right - area.left - (own.right - own.left)) / 2;
  const int top = area.top + (area.bottom - area.top - (own.bottom - own.top)) / 2;
  ::SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

INT_PTR CALLBACK InputBoxProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* question = reinterpret_cast<Question*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      question = reinterpret_cast<Question*>(lParam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      ::SetWindowTextW(dialog, question->title.c_str());
      ::SetDlgItemTextW(dialog, PELLORIN_INPUT_PROMPT, question->prompt.c_str());
      const HWND edit = ::GetDlgItem(dialog, PELLORIN_INPUT_TEXT);
      ::SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
      ::SetWindowTextW(edit, question->text.c_str());
      ::SendMessageW(edit, EM_SETSEL, 0, -1);
      if (question->owner != nullptr) CenterOverOwner(dialog, question->owner);
      ::SetFocus(edit);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        const HWND edit = ::GetDlgItem(dialog, PELLORIN_INPUT_TEXT);
        const int length = ::GetWindowTextLengthW(edit);
        question->text.assign(static_cast<std::size_t>(length) + 1, L'\0');
        ::GetWindowTextW(edit, question->text.data(), length + 1);
        question->text.resize(static_cast<std::size_t>(length));
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {  // Cancel, Escape and the close box
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

std::string ShowInputBox(HWND owner, std::string_view prompt, std::string_view title,
                         std::string_view defaultText) {
  Question question{Wide(prompt), Wide(title), Wide(defaultText), owner};
  const INT_PTR answer =
      ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(PELLORIN_INPUT_BOX), owner,
                        &InputBoxProcedure, reinterpret_cast<LPARAM>(&question));
  if (answer != IDOK) return {};
  return win32::ToUtf8(question.text);
}

}  // namespace pellorin::win32ui
