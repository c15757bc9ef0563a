#pragma once

// A RunWindow that answers input boxes from a script and records every call it gets.

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "sorting/run_window.h"

namespace pellorin::testing {

class StringResultsBox final : public ResultsBox {
 public:
  std::string text;
  bool IsEmpty() const override { return text.empty(); }
  void Append(std::string_view entry) override { text.append(entry); }
  void Clear() override { text.clear(); }
};

class ScriptedWindow final : public RunWindow {
 public:
  std::string pattern = "c:\\temp\\*.mp3";
  std::string root = "c:\\music\\mp3";
  StringResultsBox results;
  std::deque<std::string> answers;  // an input box with no answer left throws
  std::vector<std::string> events;  // "pointer 11", "message ...", "ask <prompt>|<title>|<default>"
  std::vector<std::string> logAtAsk;  // the results box as each input box opened

  std::string PatternText() const override { return pattern; }
  std::string RootText() const override { return root; }
  ResultsBox& Results() override { return results; }
  void SetMousePointer(MousePointer pointer) override {
    events.push_back("pointer " + std::to_string(static_cast<int>(pointer)));
  }
  void ShowMessage(std::string_view text) override {
    events.push_back("message " + std::string(text));
  }
  std::string InputBox(std::string_view prompt, std::string_view title,
                       std::string_view defaultText) override {
    events.push_back("ask " + std::string(prompt) + "|" + std::string(title) + "|" +
                     std::string(defaultText));
    logAtAsk.push_back(results.text);
    if (answers.empty()) throw std::runtime_error("unexpected input box");
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace pellorin::testing
