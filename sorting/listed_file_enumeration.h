#pragma once

#include <string>
#include <vector>

#include "file_system.h"

namespace pellorin {

// An enumeration that takes its whole list at the first call, so that the moves made during a
// run never make it offer a file again. Each platform says how to list.
class ListedFileEnumeration : public FileEnumeration {
 public:
  std::error_code First(std::string_view pattern, std::string& name) final;
  std::error_code Next(std::string& name) final;
  std::size_t Count() const final { return names_.size(); }

 protected:
  // Every ordinary file that matches the pattern, in the order to offer them.
  virtual std::error_code List(std::string_view pattern, std::vector<std::string>& names) = 0;
  const std::vector<std::string>& Listed() const { return names_; }

 private:
  std::vector<std::string> names_;
  std::size_t next_ = 0;
};

// The files named, in that order: a batch that the caller chose.
class GivenFiles final : public ListedFileEnumeration {
 public:
  explicit GivenFiles(std::vector<std::string> names) : given_(std::move(names)) {}

 protected:
  std::error_code List(std::string_view, std::vector<std::string>& names) override {
    names = given_;
    return {};
  }

 private:
  std::vector<std::string> given_;
};

}  // namespace pellorin
