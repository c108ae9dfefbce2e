#include "cups/ipp_device_status.h"

#include <cups/cups.h>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "cups/cups_connection.h"
#include "cups/ipp_endpoint.h"

namespace brisakett {
namespace {

// RFC 8011 allows a text value of 1023 octets; a reason needs no more.
constexpr std::size_t kLongestMessage = 255;

// Where a device that speaks IPP is reached, from its printer URI.
struct IppDevice {
  IppEndpoint endpoint;
  std::string resource;

  std::string Where() const { return endpoint.host + ":" + std::to_string(endpoint.port); }
};

std::optional<IppDevice> IppDeviceOf(const std::string& name) {
  char scheme[32], user[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, name.c_str(), scheme, sizeof scheme, user, sizeof user,
                      host, sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK) {
    return std::nullopt;
  }
  const std::string_view is(scheme);
  if (is != "ipp" && is != "ipps" && is != "http" && is != "https") return std::nullopt;
  const bool tls = is == "ipps" || is == "https";
  return IppDevice{{host, port, tls ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED}, resource};
}

// A keyword as RFC 8011 spells one (letters, digits, '-', '_', '.'),
// upper case let through.
bool IsKeyword(std::string_view value) {
  return !value.empty() && value.size() <= 255 &&
         value.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") ==
             std::string_view::npos;
}

// A message for one line of a report: no control characters, and cut at
// a character's start.
std::string Printable(std::string text) {
  if (text.size() > kLongestMessage) {
    std::size_t cut = kLongestMessage;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') c = ' ';
  }
  return text;
}

std::string TypeOf(ipp_attribute_t* attribute) {
  return std::string(ippGetName(attribute)) + " as " + ippTagString(ippGetValueTag(attribute));
}

// The printer's state from its answer, each value checked against the
// syntax RFC 8011 gives it.
DeviceStatus ReadResponse(ipp_t* response) {
  std::string wrong;
  std::optional<int> state;
  std::vector<std::string> reasons;
  std::string message;
  if (ipp_attribute_t* attribute = ippFindAttribute(response, "printer-state", IPP_TAG_ZERO)) {
    if (ippGetValueTag(attribute) == IPP_TAG_ENUM && ippGetCount(attribute) == 1) {
      state = ippGetInteger(attribute, 0);
    } else {
      AppendWords(wrong, TypeOf(attribute));
    }
  }
  if (ipp_attribute_t* attribute = ippFindAttribute(response, "printer-state-reasons", IPP_TAG_ZERO)) {
    for (int i = 0; i < ippGetCount(attribute); ++i) {
      const char* reason = ippGetString(attribute, i, nullptr);
      if (ippGetValueTag(attribute) != IPP_TAG_KEYWORD || !reason || !IsKeyword(reason)) {
        AppendWords(wrong, TypeOf(attribute));
        break;
      }
      reasons.emplace_back(reason);
    }
  }
  if (ipp_attribute_t* attribute = ippFindAttribute(response, "printer-state-message", IPP_TAG_ZERO)) {
    const ipp_tag_t tag = ippGetValueTag(attribute);
    const char* text = ippGetString(attribute, 0, nullptr);
    if ((tag == IPP_TAG_TEXT || tag == IPP_TAG_TEXTLANG) && text) {
      message = Printable(text);
    } else {
      AppendWords(wrong, TypeOf(attribute));
    }
  }
  return ReadIppPrinterState(state, reasons, message,
                             wrong.empty() ? "" : "a value of the wrong type: " + wrong);
}

// Why this machine's libcups does not trust the certificate the device
// presented (its trust settings, and the certificate the spooler kept
// from the device before); nothing when it does.
std::optional<std::string> Distrust(http_t* http, const std::string& host) {
  // libcups reads the certificate revocation list into one global anew,
  // leaking the list before, in each thread that asks about trust before
  // it has read the client settings; each question has a thread of its
  // own, so every one but the first reads the settings first.
  static std::atomic<bool> listRead{false};
  if (listRead.exchange(true)) cupsUser();
  cups_array_t* credentials = nullptr;
  if (httpCopyCredentials(http, &credentials) != 0 || cupsArrayCount(credentials) == 0) {
    httpFreeCredentials(credentials);
    return "it presented no certificate";
  }
  const http_trust_t trust = httpCredentialsGetTrust(credentials, host.c_str());
  httpFreeCredentials(credentials);
  if (trust == HTTP_TRUST_OK || trust == HTTP_TRUST_RENEWED) return std::nullopt;
  return cupsLastErrorString();
}

// A question over IPP that had no answer, in words of the device.
ServerAnswer NoIppAnswer(const ServerAnswer& failure, const IppDevice& device) {
  switch (failure.verdict) {
    case ServerVerdict::TimedOut:
      return {failure.verdict, "no answer over IPP at " + device.Where() + " within " +
                                   std::to_string(kServerPatience.count() / 1000) + " s"};
    case ServerVerdict::Unreachable:
      return {failure.verdict, "IPP at " + device.Where() + " cannot be reached"};
    default:
      return {failure.verdict, "it refuses to tell over IPP: " + failure.reason};
  }
}

SpoolerAnswer<DeviceStatus> AskOverIpp(const std::string& uri, const IppDevice& device) {
  Deadline deadline(kServerPatience);
  const SpoolerLogin nobody;  // a device that wants a password is not given one
  CupsConnection connection(deadline, nobody, device.endpoint);
  if (!connection.Connected()) return NoIppAnswer(connection.Failure(), device);
  if (device.endpoint.encryption == HTTP_ENCRYPTION_ALWAYS) {
    if (std::optional<std::string> why = Distrust(connection.Http(), device.endpoint.host)) {
      return UnreadableStatus("its certificate is not trusted: " + *why);
    }
  }
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  const char* wanted[] = {"printer-state", "printer-state-reasons", "printer-state-message"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
  ipp_t* response = connection.Exchange(request, device.resource.c_str());
  if (!response) return NoIppAnswer(connection.Failure(), device);
  const ServerAnswer verdict = CupsConnection::Verdict(response);
  SpoolerAnswer<DeviceStatus> answer = NoIppAnswer(verdict, device);
  if (verdict.Answered()) answer = ReadResponse(response);
  ippDelete(response);
  return answer;
}

// One run's questions. A question over IPP still waiting for its device
// when the run ends is left behind, not waited for: what the threads
// share outlives the questions, and finds them closed when it ends.
class IppQuestions final : public DeviceQuestions {
public:
  explicit IppQuestions(std::unique_ptr<DeviceQuestions> otherwise) : otherwise_(std::move(otherwise)) {
    shared_->otherwise = otherwise_.get();
  }

  // After this no answer is given, and the SNMP questions go with it.
  ~IppQuestions() override {
    const std::lock_guard lock(shared_->mutex);
    shared_->open = false;
  }

  void Ask(const std::string& name, Answered answered) override {
    const std::optional<IppDevice> device = IppDeviceOf(name);
    if (!device) return otherwise_->Ask(name, std::move(answered));
    bool bySnmp = false;
    {
      const std::lock_guard lock(shared_->mutex);
      bySnmp = shared_->ways[name] == Way::Snmp;
    }
    if (bySnmp) return otherwise_->Ask(device->endpoint.host, std::move(answered));
    try {
      std::thread([shared = shared_, name, device = *device, answered]() mutable {
        Take(*shared, name, device, AskOverIpp(name, device), std::move(answered));
      }).detach();
    } catch (const std::system_error& error) {
      Take(*shared_, name, *device, ServerAnswer{ServerVerdict::Unreachable, std::string("no thread: ") + error.what()},
           std::move(answered));
    }
  }

private:
  enum class Way { NotKnown, Ipp, Snmp };
  struct Shared {
    // Held while the SNMP questions are asked, whose answer may come at once.
    std::recursive_mutex mutex;
    bool open = true;
    std::map<std::string, Way> ways;
    DeviceQuestions* otherwise = nullptr;  // while open
  };

  // An answer over IPP. Without one, a device that has not answered IPP
  // before is asked over SNMP.
  static void Take(Shared& shared, const std::string& name, const IppDevice& device,
                   SpoolerAnswer<DeviceStatus> ipp, Answered answered) {
    const std::lock_guard lock(shared.mutex);
    if (!shared.open) return;
    Way& way = shared.ways[name];
    if (ipp.Answered()) way = Way::Ipp;
    if (way == Way::Ipp) return answered(std::move(ipp));
    shared.otherwise->Ask(device.endpoint.host, [&shared, name, ipp = ServerAnswer(ipp),
                                                 answered](SpoolerAnswer<DeviceStatus> snmp) {
      const std::lock_guard lock(shared.mutex);
      if (!shared.open) return;
      if (snmp.Answered()) {
        shared.ways[name] = Way::Snmp;
        return answered(std::move(snmp));
      }
      answered(ServerAnswer{ipp.verdict, ipp.reason + "; " + snmp.reason});
    });
  }

  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::unique_ptr<DeviceQuestions> otherwise_;
};

}  // namespace

std::unique_ptr<DeviceQuestions> IppDeviceStatus::Open(const std::string& community) const {
  return std::make_unique<IppQuestions>(otherwise_->Open(community));
}

}  // namespace brisakett
