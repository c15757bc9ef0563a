#pragma once

namespace pellorin::platform {

// A manual-reset event that the first request to stop sets, for a wait that must wake on it.
void* StopRequestEvent();

}  // namespace pellorin::platform
