// Two independent pieces of work at once, for commands that read two images
// (diff): each runs on its own thread where one can be started, one after
// the other where not. The pieces share nothing but what they were given.
#pragma once

#include <exception>
#include <functional>

namespace commands {

// Runs `first` and `second` and returns when both have ended. When either
// throws, the exception is passed on after both have ended: first's when
// both threw, as if they had run in order.
void RunSideBySide(const std::function<void()>& first, const std::function<void()>& second);

// What the threads of each platform run: `work`, its exception kept in
// `thrown` instead of leaving the thread.
inline void RunKeepingException(const std::function<void()>& work, std::exception_ptr& thrown) {
  try {
    work();
  } catch (...) {
    thrown = std::current_exception();
  }
}

}  // namespace commands
