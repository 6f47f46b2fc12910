#pragma once
// The tool's one exception type. Deliberately not derived from std::exception:
// the worker threads catch exactly this type and turn it into a flag.
#include <string>
#include <utility>

class UpgradeToolException {
 public:
  explicit UpgradeToolException(std::string message) : m_message(std::move(message)) {}

  const std::string& Message() const { return m_message; }

 private:
  std::string m_message;  // ANSI text
};
