#pragma once

#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "child_process.h"

namespace brisakett::testing {

// A throw-away account on this machine (root only), whose password PAM
// checks as it checks everyone's, removed again when the test ends,
// passed or failed.
class LocalUser {
public:
  explicit LocalUser(const std::string& password) {
    std::random_device random;
    char suffix[9];
    std::snprintf(suffix, sizeof suffix, "%08x", random());
    name_ = std::string("brisakett-test-") + suffix;
    const ProgramRun hashed = RunProgram({FindProgram("openssl"), "passwd", "-6", password});
    if (hashed.exitStatus != 0) {
      why_ = "openssl passwd failed: " + hashed.output;
      return;
    }
    const std::string hash = hashed.output.substr(0, hashed.output.find('\n'));
    const ProgramRun added =
        RunProgram({FindProgram("useradd"), "--no-create-home", "--shell", "/usr/sbin/nologin",
                    "--password", hash, name_});
    created_ = added.exitStatus == 0;
    if (!created_) why_ = "useradd failed: " + added.output;
  }
  ~LocalUser() {
    if (created_) RunProgram({FindProgram("userdel"), name_});
  }
  LocalUser(const LocalUser&) = delete;
  LocalUser& operator=(const LocalUser&) = delete;

  bool Created() const { return created_; }
  const std::string& Name() const { return name_; }
  const std::string& Why() const { return why_; }

private:
  std::string name_;
  std::string why_;
  bool created_ = false;
};

}  // namespace brisakett::testing
