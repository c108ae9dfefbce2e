#pragma once

#include <functional>
#include <future>
#include <memory>

#include "password_prompt.h"
#include "printer_catalog.h"

namespace brisakett {

// The window's first two questions, the default printer and the list, asked
// on threads of their own as soon as the catalog is made, so that the
// scheduler's answers travel while the toolkit and the window are set up;
// the list once the default, which the window wants first, is answered.
// Each early answer goes to the first caller that wants it; every later
// question, and every IsInstalled, is asked afresh on the caller's thread.
//
// No prompt can be shown from those threads: there a server that wants a
// password is refused, and the question is asked again when its answer is
// wanted, on the caller's thread, where the login's prompt can ask.
// `login` must outlive the catalog, as with every catalog. One caller at a
// time.
class PrefetchedCatalog final : public PrinterCatalog {
public:
  using MakeCatalog = std::function<std::unique_ptr<PrinterCatalog>(const SpoolerLogin&)>;

  PrefetchedCatalog(const MakeCatalog& make, const SpoolerLogin& login);

  SpoolerAnswer<std::vector<std::string>> DeviceNames(Deadline& deadline) const override;
  SpoolerAnswer<bool> IsInstalled(const std::string& name, Deadline& deadline) const override;
  SpoolerAnswer<std::optional<std::string>> DefaultDeviceName(Deadline& deadline) const override;

  template <typename T>
  struct EarlyAnswer {
    SpoolerAnswer<T> answer;
    bool wantedPassword = false;
  };

private:
  std::unique_ptr<PrinterCatalog> asking_;
  // Declared last: their destructors wait for the threads, which use
  // nothing of this object. The default's answer is shared with the thread
  // that asks for the list, which waits for it.
  mutable std::shared_future<EarlyAnswer<std::optional<std::string>>> default_;
  mutable std::future<EarlyAnswer<std::vector<std::string>>> names_;
};

}  // namespace brisakett
