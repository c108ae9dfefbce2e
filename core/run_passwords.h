#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "password_prompt.h"

namespace brisakett {

// The passwords given during one run (or one press of "OK"), one per
// server, so that the person is asked once however many connections the
// run opens, and again only when the server refuses it, three times at
// most; one who declines is not asked again in the run. They stay in
// memory while it lives and are wiped when it goes; nothing is written.
// Any thread may ask; one question is asked at a time.
class RunPasswords final : public PasswordPrompt {
public:
  explicit RunPasswords(PasswordPrompt* person) : person_(person) {}
  ~RunPasswords() override { Forget(); }

  RunPasswords(const RunPasswords&) = delete;
  RunPasswords& operator=(const RunPasswords&) = delete;

  std::optional<std::string> Ask(const std::string& server, std::string& user) override;
  void Refused(const std::string& server) override;
  // Wipes every password given.
  void Forget();

private:
  struct Given {
    std::string user;
    std::string password;
  };
  PasswordPrompt* person_;
  std::mutex mutex_;
  std::map<std::string, Given> given_;  // by server
  std::map<std::string, int> refused_;  // passwords the server refused, by server
  std::map<std::string, bool> declined_;
};

}  // namespace brisakett
