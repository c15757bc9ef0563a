#include "child_launcher.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace pellorin::bench {
namespace {

// Requests are the strings in, out, err, the number of variables set, those variables
// ("NAME=value"), then the arguments, each ended by a NUL, in one packet; the answer is one Answer.
struct Answer {
  int spawnError;
  int status;
  double seconds;
  long peakRssKiB;
};

constexpr std::size_t kMaxRequest = 64 * 1024;

std::vector<std::string> SplitRequest(const char* data, std::size_t size) {
  std::vector<std::string> parts;
  for (std::size_t at = 0; at < size;) {
    const std::size_t length = ::strnlen(data + at, size - at);
    parts.emplace_back(data + at, length);
    at += length + 1;
  }
  return parts;
}

// The launcher's environment with the variables set, each replacing its namesake.
std::vector<char*> Environment(const std::vector<std::string>& set) {
  std::vector<char*> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view variable(*entry);
    const auto name = variable.substr(0, variable.find('=') + 1);
    const bool replaced = std::any_of(set.begin(), set.end(), [name](const std::string& value) {
      return std::string_view(value).starts_with(name);
    });
    if (!replaced) environment.push_back(*entry);
  }
  for (const auto& value : set) environment.push_back(const_cast<char*>(value.c_str()));
  environment.push_back(nullptr);
  return environment;
}

Answer Launch(const std::vector<std::string>& request) {
  Answer answer{};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, request[0].c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, request[1].c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, request[2].c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  const auto variables = static_cast<std::size_t>(std::stoul(request[3]));
  const std::vector<std::string> set(request.begin() + 4,
                                     request.begin() + 4 + static_cast<long>(variables));
  auto environment = Environment(set);
  std::vector<char*> argv;
  for (std::size_t at = 4 + variables; at < request.size(); ++at) {
    argv.push_back(const_cast<char*>(request[at].c_str()));
  }
  argv.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  pid_t child = 0;
  answer.spawnError =
      ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environment.data());
  posix_spawn_file_actions_destroy(&actions);
  if (answer.spawnError != 0) return answer;
  struct rusage usage {};
  if (::wait4(child, &answer.status, 0, &usage) != child) answer.spawnError = errno;
  answer.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  answer.peakRssKiB = usage.ru_maxrss;
  return answer;
}

[[noreturn]] void Serve(int socket) {
  std::vector<char> request(kMaxRequest);
  for (;;) {
    const ssize_t got = ::recv(socket, request.data(), request.size(), 0);
    if (got <= 0) ::_exit(0);
    const auto parts = SplitRequest(request.data(), static_cast<std::size_t>(got));
    Answer answer{};
    const bool whole = parts.size() >= 5 &&
                       parts[3].find_first_not_of("0123456789") == std::string::npos &&
                       std::stoul(parts[3]) + 5 <= parts.size();
    answer.spawnError = whole ? 0 : EINVAL;
    if (answer.spawnError == 0) answer = Launch(parts);
    if (::send(socket, &answer, sizeof answer, 0) != sizeof answer) ::_exit(1);
  }
}

}  // namespace

ChildLauncher::ChildLauncher() {
  int sockets[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) {
    throw std::runtime_error("cannot make the launcher's socket");
  }
  launcher_ = ::fork();
  if (launcher_ < 0) throw std::runtime_error("cannot fork the launcher");
  if (launcher_ == 0) {
    ::close(sockets[0]);
    Serve(sockets[1]);
  }
  ::close(sockets[1]);
  socket_ = sockets[0];
}

ChildLauncher::~ChildLauncher() {
  ::close(socket_);
  int status = 0;
  ::waitpid(launcher_, &status, 0);
}

ChildRun ChildLauncher::Run(const std::vector<std::string>& arguments, const std::string& in,
                            const std::string& out, const std::string& err,
                            const std::vector<std::string>& environment) {
  std::string request;
  for (const auto* part : {&in, &out, &err}) request.append(*part).push_back('\0');
  request.append(std::to_string(environment.size())).push_back('\0');
  for (const auto& variable : environment) request.append(variable).push_back('\0');
  for (const auto& argument : arguments) request.append(argument).push_back('\0');
  ChildRun run;
  if (request.size() > kMaxRequest ||
      ::send(socket_, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) {
    run.failure = "cannot reach the launcher";
    return run;
  }
  Answer answer{};
  if (::recv(socket_, &answer, sizeof answer, 0) != sizeof answer) {
    run.failure = "the launcher did not answer";
    return run;
  }
  if (answer.spawnError != 0) {
    run.failure = "cannot start " + arguments.front() + ": " + std::strerror(answer.spawnError);
  }
  run.status = answer.status;
  run.seconds = answer.seconds;
  run.peakRssKiB = answer.peakRssKiB;
  return run;
}

}  // namespace pellorin::bench
