#include "music_sample.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>
#include <string_view>

#include "support/tagged_songs.h"

namespace pellorin::bench {
namespace {

constexpr std::array<std::string_view, 60> kFirstWords = {
    "Amber",  "Black",  "Blue",     "Broken", "Cold",   "Copper",   "Crimson", "Dark",
    "Dead",   "Deep",   "Electric", "Empty",  "Faded",  "Frozen",   "Glass",   "Golden",
    "Grey",   "Hollow", "Iron",     "Jade",   "Last",   "Lazy",     "Little",  "Lost",
    "Lunar",  "Mad",    "Midnight", "Neon",   "Night",  "Northern", "Old",     "Pale",
    "Paper",  "Quiet",  "Red",      "Rusty",  "Salt",   "Scarlet",  "Secret",  "Silent",
    "Silver", "Sleepy", "Solar",    "Stone",  "Sweet",  "Tender",   "The",     "Twin",
    "Velvet", "Violet", "Wild",     "Winter", "Wooden", "Young",    "Zöe's",   "Ánima",
    "Señor",  "Über",   "Crystal",  "Burning"};
constexpr std::array<std::string_view, 50> kSecondWords = {
    "Anchors",   "Arrows",    "Bells",   "Birds",   "Bones",   "Brothers",  "Cats",     "Circuit",
    "Clouds",    "Comets",    "Crows",   "Dogs",    "Dreams",  "Engines",   "Fjörd",    "Flowers",
    "Foxes",     "Ghosts",    "Giants",  "Hearts",  "Horses",  "Islands",   "Kings",    "Lights",
    "Lions",     "Machines",  "Mirrors", "Monkeys", "Moons",   "Mountains", "Owls",     "Pilots",
    "Queens",    "Rivers",    "Robots",  "Sailors", "Shadows", "Sisters",   "Sparrows", "Stars",
    "Storms",    "Strangers", "Tigers",  "Trains",  "Valleys", "Waves",     "Wolves",   "Café",
    "Orchestra", "Quartet"};
constexpr std::array<std::string_view, 24> kTitleWords = {
    "Love",  "Night", "Song",  "Road",   "Rain",   "Fire",  "Home",   "Time",
    "Heart", "Dance", "Light", "River",  "Summer", "Dream", "Shadow", "Gold",
    "Ocean", "City",  "Train", "Window", "Mirror", "Sky",   "Ghost",  "Morning"};

constexpr std::size_t kArtistPool = kFirstWords.size() * kSecondWords.size();  // 3,000

std::string ArtistName(std::size_t index) {
  std::string name(kFirstWords[index % kFirstWords.size()]);
  return name.append(" ").append(kSecondWords[index / kFirstWords.size()]);
}

// Unique by its number; never holds a "-", so the dash rule sees exactly the one it is given.
std::string Title(std::mt19937& random, std::size_t number) {
  std::uniform_int_distribution<std::size_t> word(0, kTitleWords.size() - 1);
  std::string title(kTitleWords[word(random)]);
  title.append(" ").append(kTitleWords[word(random)]).append(" ");
  return title.append(std::to_string(number));
}

// Most names "Artist - Title.mp3"; one in ten "(Artist) Title.mp3", one in twenty "Artist-Title".
std::string FileName(int shape, const std::string& artist, const std::string& title) {
  std::string name;
  if (shape < 10) {
    name.append("(").append(artist).append(") ");
  } else {
    name.append(artist).append(shape < 15 ? "-" : " - ");
  }
  return name.append(title).append(".mp3");
}

void CreateFile(const std::filesystem::path& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path.string());
  const bool written = bytes.empty() || ::write(fd, bytes.data(), bytes.size()) ==
                                            static_cast<ssize_t>(bytes.size());
  ::close(fd);
  if (!written) throw std::runtime_error("cannot write " + path.string());
}

// Bytes that no file system can shrink or share: what a song's data looks like to a disk.
std::string SongBytes(std::size_t size) {
  std::mt19937_64 random(size);
  std::string bytes(size, '\0');
  for (auto& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

// Written files and removed folders reach the disk before the clock starts, not during a run.
void FlushFileSystem(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::syncfs(fd);
  ::close(fd);
}

// A song of 8 KiB whose ID3v2 tag gives its artist and title, the title padded so that every
// song has the same size.
std::string TaggedSong(std::string_view artist, std::string_view title) {
  std::string padded(title);
  padded.resize(std::max<std::size_t>(padded.size(), 250 - artist.size()), ' ');
  std::string song =
      testing::Id3v2Tag(4, {{"TPE1", std::string(artist)}, {"TIT2", padded}}) + testing::Mp3Frame();
  song.resize(8192, '\0');
  return song;
}

}  // namespace

MusicSample TagSample(const MusicSample& sample, bool namesGiveArtist) {
  MusicSample tagged{.names = {}, .artistCount = sample.artistCount, .songs = {}};
  for (const auto& name : sample.names) {
    const std::string_view artist = SampleArtist(name);
    std::string_view title = name;
    title.remove_prefix(name.starts_with('(') ? name.find(')') + 2 : name.find('-') + 1);
    while (title.starts_with(' ')) title.remove_prefix(1);
    tagged.names.push_back(namesGiveArtist ? std::string(artist) + " - " + std::string(title)
                                           : std::string(title));
    tagged.songs.push_back(TaggedSong(artist, title.substr(0, title.size() - 4)));
  }
  return tagged;
}

std::string_view SampleArtist(std::string_view name) {
  if (name.starts_with('(')) return name.substr(1, name.find(')') - 1);
  std::string_view artist = name.substr(0, name.find('-'));
  while (artist.ends_with(' ')) artist.remove_suffix(1);
  return artist;
}

std::vector<std::string> ListSample(const std::string& folder) {
  std::vector<std::string> names;
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return names;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (entry->d_type == DT_REG && name.ends_with(".mp3")) names.emplace_back(name);
  }
  ::closedir(listing);
  return names;
}

MusicSample MakeMusicSample(std::size_t count) {
  std::mt19937 random(20261207);
  std::uniform_int_distribution<std::size_t> artist(0, kArtistPool - 1);
  std::uniform_int_distribution<int> form(0, 99);
  MusicSample sample;
  sample.names.reserve(count);
  std::set<std::size_t> artists;
  for (std::size_t number = 1; number <= count; ++number) {
    const std::size_t chosen = artist(random);
    artists.insert(chosen);
    const int shape = form(random);
    sample.names.push_back(FileName(shape, ArtistName(chosen), Title(random, number)));
  }
  sample.artistCount = artists.size();
  return sample;
}

Workspace::Workspace(const std::filesystem::path& base, const MusicSample& sample,
                     const std::filesystem::path& libraryBase, std::size_t fileBytes)
    : fileBytes_(sample.songs.empty() ? fileBytes : sample.songs.front().size()) {
  folder_.emplace(base, "pellorin-bench-");
  if (!libraryBase.empty()) library_.emplace(libraryBase, "pellorin-bench-");
  std::filesystem::create_directory(Incoming());
  std::filesystem::create_directory(Library());
  const std::filesystem::path incoming = Incoming();
  const std::string bytes = SongBytes(fileBytes);
  for (std::size_t at = 0; at < sample.names.size(); ++at) {
    CreateFile(incoming / sample.names[at], sample.songs.empty() ? bytes : sample.songs[at]);
  }
  FlushFileSystem(folder_->path());
  if (library_) FlushFileSystem(library_->path());
}

Workspace::~Workspace() {
  for (auto* folder : {&library_, &folder_}) {
    if (!*folder) continue;
    const std::filesystem::path parent = (*folder)->path().parent_path();
    folder->reset();
    FlushFileSystem(parent);
  }
}

FiledMusic Inspect(const Workspace& workspace) {
  FiledMusic filed;
  for (const auto& entry : std::filesystem::directory_iterator(workspace.Incoming())) {
    ++filed.leftBehind;
    if (entry.is_regular_file()) filed.leftBehindBytes += entry.file_size();
  }
  for (const auto& entry : std::filesystem::directory_iterator(workspace.Library())) {
    if (!entry.is_directory()) {
      ++filed.strayEntries;
      continue;
    }
    ++filed.artistFolders;
    for (const auto& file : std::filesystem::directory_iterator(entry.path())) {
      if (!file.is_regular_file()) continue;
      ++filed.filedFiles;
      filed.filedBytes += file.file_size();
    }
  }
  return filed;
}

}  // namespace pellorin::bench
