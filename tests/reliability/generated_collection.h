#pragma once

// Random music collections from a seed: names that each rule reads, names that need the input
// box, names that give no usable artist, artists that differ only in case, folders and files that
// are already under the root, and contents of many sizes, unique per file.

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "support/reference_rules.h"

namespace pellorin::testing {

struct GeneratedCollection {
  struct File {
    std::string name, bytes;
  };
  std::vector<File> incoming;                // files in the pattern's folder
  std::vector<std::string> existingArtists;  // folders already under the root
  std::vector<File> alreadyFiled;            // name is "<artist>/<file name>": a file in the way
  std::deque<std::string> answers;           // input box answers, enough for every question
};

inline std::string Pick(std::mt19937& random, const std::vector<std::string>& from) {
  return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
}

// separator is the platform's; it never appears inside a generated file name.
inline GeneratedCollection GenerateCollection(std::mt19937& random, int fileCount, char separator) {
  const std::vector<std::string> artists = {"Abba", "ABBA", "The Band", " Spaced ", "\xc3\x9cml",
                                            "a",    "..",   ".",        "Dash-Man", "Zed"};
  const std::vector<std::string> answers = {
      "Typed", " Typed ", "", "..", "x" + std::string(1, separator) + "y", std::string("n\0ul", 4),
      "Abba",  "\xff\xfe"};
  const std::vector<std::string> forms = {
      "A - T.mp3", "A-T.mp3",     "(A) T.mp3", "( A ) T.mp3", "T.mp3",        "A - B - T.mp3",
      "()T.mp3",   " A - T.mp3 ", "- T.mp3",   "(A T.mp3",    "A - T\r\n.mp3"};
  GeneratedCollection collection;
  std::uniform_int_distribution<int> percent(0, 99);
  for (int i = 0; i < fileCount; ++i) {
    std::string name = Pick(random, forms);
    const std::string artist = Pick(random, artists);
    const std::string title = "t" + std::to_string(i);
    for (auto at = name.find('T'); at != std::string::npos; at = name.find('T')) {
      name.replace(at, 1, title);
    }
    for (auto at = name.find('A'); at != std::string::npos;
         at = name.find('A', at + artist.size())) {
      name.replace(at, 1, artist);
    }
    const int size = percent(random) < 10 ? 70000 + i : percent(random) * 37;
    std::string bytes = name + "#" + std::to_string(i) + "#";
    while (bytes.size() < static_cast<std::size_t>(size)) bytes += static_cast<char>(random());
    const std::string ruleArtist = reference::Artist(reference::Trim(name));
    if (ruleArtist.empty()) collection.answers.push_back(Pick(random, answers));
    if (!ruleArtist.empty() && ruleArtist.find(separator) == std::string::npos &&
        ruleArtist != "." && ruleArtist != ".." && percent(random) < 10) {
      collection.alreadyFiled.push_back({ruleArtist + separator + name, "older " + bytes});
    }
    collection.incoming.push_back({std::move(name), std::move(bytes)});
  }
  for (const auto& artist : artists) {
    if (artist != "." && artist != ".." && percent(random) < 30) {
      collection.existingArtists.push_back(artist);
    }
  }
  return collection;
}

}  // namespace pellorin::testing
