#include "input_box.h"

#include "designed_window.h"
#include "resource_ids.h"

namespace pellorin::win32ui {
namespace {

struct Question {
  std::wstring prompt, title, defaultText;
  HWND owner;
  std::string answer;  // what OK took from the edit field
};

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
      ::SetWindowTextW(edit, question->defaultText.c_str());
      ::SendMessageW(edit, EM_SETSEL, 0, -1);
      CenterWindow(dialog, question->owner);
      ::SetFocus(edit);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        question->answer = Utf8(::GetDlgItem(dialog, PELLORIN_INPUT_TEXT));
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
  Question question{Wide(prompt), Wide(title), Wide(defaultText), owner, {}};
  const INT_PTR answer =
      ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(PELLORIN_INPUT_BOX), owner,
                        &InputBoxProcedure, reinterpret_cast<LPARAM>(&question));
  return answer == IDOK ? question.answer : std::string();
}

}  // namespace pellorin::win32ui
