#include "run_passwords.h"

#include <algorithm>

namespace brisakett {
namespace {

void Wipe(std::string& secret) { std::fill(secret.begin(), secret.end(), '\0'); }

// As lp: a wrong password is asked for again, three times in all.
constexpr int kTries = 3;

}  // namespace

std::optional<std::string> RunPasswords::Ask(const std::string& server, std::string& user) {
  const std::lock_guard lock(mutex_);
  if (const auto known = given_.find(server); known != given_.end()) {
    user = known->second.user;
    return known->second.password;
  }
  if (!person_ || declined_[server] || refused_[server] >= kTries) return std::nullopt;
  std::optional<std::string> password = person_->Ask(server, user);
  if (password) {
    given_[server] = {user, *password};
  } else {
    declined_[server] = true;
  }
  return password;
}

void RunPasswords::Refused(const std::string& server) {
  const std::lock_guard lock(mutex_);
  if (const auto known = given_.find(server); known != given_.end()) {
    Wipe(known->second.password);
    given_.erase(known);
    ++refused_[server];
  }
}

void RunPasswords::Forget() {
  const std::lock_guard lock(mutex_);
  for (auto& [server, given] : given_) Wipe(given.password);
  given_.clear();
  refused_.clear();
  declined_.clear();
}

}  // namespace brisakett
