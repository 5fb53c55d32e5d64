// Starting programs without waiting for them.
#pragma once

#include <memory>
#include <string>

namespace velmorin::platform {

// A started process, to ask whether it has ended.
class Process {
 public:
  virtual ~Process() = default;
  virtual bool Running() = 0;
};

class Processes {
 public:
  virtual ~Processes() = default;
  // Runs a command line ("cmd /c A & B") through the command interpreter, window hidden,
  // without waiting.
  virtual std::unique_ptr<Process> StartHidden(const std::string& command_line) = 0;
  // Starts a program file in a normal window that takes the focus, in the current folder,
  // without waiting. Run-time error 53 when the file does not exist.
  virtual void StartFocused(const std::string& program) = 0;
};

}  // namespace velmorin::platform
