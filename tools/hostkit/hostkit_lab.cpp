// hostkit lab DIR: builds the lab network that DIR/lab.txt describes (examples/lab/README.md):
// the computers, the message DLLs compiled from the lab's .mc files, the event sources in every
// computer's registry, and each log's records.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/core/network.h"
#include "platform/core/paths.h"
#include "platform/eventlog/eventlog.h"
#include "platform/lsa/lsa.h"
#include "platform/registry/hive_image.h"
#include "platform/registry/hive_regtext.h"
#include "platform/registry/registry.h"
#include "tools/hostkit/event_fields.h"
#include "tools/hostkit/hostkit.h"
#include "tools/hostkit/lab_description.h"
#include "tools/hostkit/message_text_file.h"

namespace hostkit {
namespace {

constexpr size_t kBatch = 4096;
constexpr DWORD kNeverOverwrite = 0xFFFFFFFF;

bool ReadText(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

// The account domain's SID of an image (S-1-5-21-a-b-c), empty when its SAM has none.
std::string AccountDomainSid(const platform::ComputerImage& image) {
  platform::RegistryValue v;
  if (platform::ReadImageValue(image, "SAM\\SAM\\Domains\\Account", "V", v) != ERROR_SUCCESS || v.data.size() < 12)
    return {};
  return std::string("\x01\x04\x00\x00\x00\x00\x00\x05", 8) + Le32(21) + v.data.substr(v.data.size() - 12);
}

// The accounts of a SAM by name, as the lab makes them: the two every SAM has, then its own.
struct Accounts {
  std::string domainSid;  // S-1-5-21-a-b-c in binary; empty when the SAM has none
  std::map<std::string, uint32_t> rids;  // by upper-case name

  Accounts(std::string sid, const std::vector<std::string>& own) : domainSid(std::move(sid)) {
    rids["ADMINISTRATOR"] = 500;
    rids["GUEST"] = 501;
    for (size_t i = 0; i < own.size(); ++i) rids.emplace(NetBiosName(own[i]), kFirstLabAccountRid + static_cast<uint32_t>(i));
  }
  std::vector<uint8_t> Sid(uint32_t rid) const {
    if (domainSid.empty()) return {};
    std::string bytes = domainSid + Le32(rid);
    bytes[1] = static_cast<char>(bytes[1] + 1);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  }
  // The SID of `name`, empty when it is no account here.
  std::vector<uint8_t> Find(const std::string& name) const {
    auto it = rids.find(NetBiosName(name));
    return it == rids.end() ? std::vector<uint8_t>() : Sid(it->second);
  }
};

// The account `name` as the computer's logon would find it: one of its own, else its domain's.
std::vector<uint8_t> AccountSid(const std::string& name, const Accounts& local, const Accounts& domain) {
  std::vector<uint8_t> sid = local.Find(name);
  return sid.empty() ? domain.Find(name) : sid;
}

// "domain:RID" is an account of the computer's domain (its primary controller's SAM), "local:RID"
// one of the computer itself; anything else is a SID as written. "string:N" is settled per
// record, from its strings.
std::vector<uint8_t> UserSid(const std::string& user, const std::string& localDomain, const std::string& domain) {
  std::vector<uint8_t> sid;
  for (auto [prefix, base] : {std::pair{"domain:", &domain}, std::pair{"local:", &localDomain}}) {
    std::string p = prefix;
    if (user.rfind(p, 0) != 0) continue;
    uint64_t rid = 0;
    if (base->empty() || !ParseNumber(user.substr(p.size()), 0xFFFFFFFFu, rid)) return {};
    std::string bytes = *base + Le32(static_cast<uint32_t>(rid));
    bytes[1] = static_cast<char>(bytes[1] + 1);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  }
  if (!user.empty()) ParseSid(user, sid);
  return sid;
}

std::string Paths(const std::vector<std::string>& dlls) {
  std::string out;
  for (const auto& d : dlls) out += (out.empty() ? "" : ";") + std::string("%SystemRoot%\\System32\\") + d + ".dll";
  return out;
}

// The registry of one computer: the sources of the lab and the size of its logs.
std::vector<platform::RegTextChange> RegistryChanges(const LabDescription& lab) {
  std::vector<platform::RegTextChange> changes;
  const std::string logs = "SYSTEM\\ControlSet001\\Services\\EventLog\\";
  auto set = [&](const std::string& key, const char* name, platform::RegistryValue value) {
    platform::RegTextChange c;
    c.kind = platform::RegTextChange::SetValue;
    c.key = key;
    c.valueName = name;
    c.value = std::move(value);
    changes.push_back(std::move(c));
  };
  for (const char* log : {"System", "Security", "Application"}) {
    set(logs + log, "MaxSize", platform::DwordValue(lab.logSize));
    // A lab log keeps what it is given: a full log refuses more rather than drop the oldest.
    set(logs + log, "Retention", platform::DwordValue(kNeverOverwrite));
  }
  for (const LabSource& s : lab.sources) {
    const std::string key = logs + s.log + "\\" + s.name;
    if (!s.eventFiles.empty()) set(key, "EventMessageFile", platform::StringValue(REG_EXPAND_SZ, Paths(s.eventFiles)));
    if (!s.categoryFiles.empty())
      set(key, "CategoryMessageFile", platform::StringValue(REG_EXPAND_SZ, Paths(s.categoryFiles)));
    if (!s.parameterFiles.empty())
      set(key, "ParameterMessageFile", platform::StringValue(REG_EXPAND_SZ, Paths(s.parameterFiles)));
    set(key, "CategoryCount", platform::DwordValue(s.categoryCount));
    set(key, "TypesSupported", platform::DwordValue(0x1F));
  }
  return changes;
}

// A computer's own accounts in its SAM: the name's key, whose value type is the account's RID,
// is what a lookup by name or by RID reads.
std::vector<platform::RegTextChange> AccountChanges(const LabComputer& computer) {
  std::vector<platform::RegTextChange> changes;
  for (size_t i = 0; i < computer.accounts.size(); ++i) {
    platform::RegTextChange c;
    c.kind = platform::RegTextChange::SetValue;
    c.key = "SAM\\SAM\\Domains\\Account\\Users\\Names\\" + computer.accounts[i];
    c.value = platform::RegistryValue{kFirstLabAccountRid + static_cast<DWORD>(i), ""};
    changes.push_back(std::move(c));
  }
  return changes;
}

// The records of one log of one computer, the same for the same description.
class RecordMaker {
 public:
  RecordMaker(const LabDescription& lab, const LabComputer& computer, const std::string& log, const Accounts& local,
              const Accounts& domain)
      : lab_(lab), computer_(computer), local_(local), domain_(domain), clock_(lab.start) {
    rng_.seed(lab.seed ^ (std::hash<std::string>()(computer.name) * 31 + std::hash<std::string>()(log)));
    for (const LabEvent& e : lab.events) {
      if (e.log != log) continue;
      kinds_.push_back(&e);
      total_ += e.weight;
      sids_.push_back(UserSid(e.user, local.domainSid, domain.domainSid));
    }
  }

  platform::EventInput Next(bool first) {
    if (!first && Pick(100) >= lab_.sameSecond) clock_ += lab_.gapMin + Pick(lab_.gapMax - lab_.gapMin + 1);
    uint32_t at = Pick(total_);
    size_t k = 0;
    while (at >= kinds_[k]->weight) at -= kinds_[k++]->weight;
    const LabEvent& e = *kinds_[k];
    platform::EventInput in;
    in.source = e.source;
    in.computer = computer_.recordName.empty() ? computer_.name : computer_.recordName;
    in.timeWritten = clock_;
    // Now and then an event is written a moment after it happened.
    in.timeGenerated = Pick(5) == 0 && clock_ >= 2 ? clock_ - Pick(3) : clock_;
    in.eventId = e.id;
    in.eventType = e.type;
    in.eventCategory = e.category;
    in.userSid = sids_[k];
    in.data = e.data;
    for (const std::string& text : e.strings)
      in.strings.push_back(ExpandLabString(text, computer_.name, computer_.host.domain,
                                           [&](const std::string& list, std::string& out) {
                                             auto it = lab_.words.find(list);
                                             if (it == lab_.words.end() || it->second.empty()) return false;
                                             out += it->second[Pick(static_cast<uint32_t>(it->second.size()))];
                                             return true;
                                           }));
    // The account a string names, as the computer's logon found it when it wrote the record.
    if (e.user.rfind("string:", 0) == 0) {
      uint64_t n = 0;
      if (ParseNumber(e.user.substr(7), 64, n) && n >= 1 && n <= in.strings.size()) in.userSid = AccountSid(in.strings[n - 1], local_, domain_);
    }
    return in;
  }

 private:
  uint32_t Pick(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(rng_() % n); }

  const LabDescription& lab_;
  const LabComputer& computer_;
  const Accounts& local_;
  const Accounts& domain_;
  std::mt19937_64 rng_;
  DWORD clock_;
  std::vector<const LabEvent*> kinds_;
  std::vector<std::vector<uint8_t>> sids_;
  uint32_t total_ = 0;
};

int FillLogs(const LabDescription& lab, const LabComputer& computer, const platform::ComputerImage& image,
             const Accounts& domain) {
  const Accounts local(AccountDomainSid(image), computer.accounts);
  for (const auto& [log, count] : computer.events) {
    platform::EventLogLocation location;
    if (DWORD rc = platform::LocateImageEventLog(image, log.c_str(), location); rc != ERROR_SUCCESS || location.file.empty())
      return Fail("the " + log + " log of " + computer.name + " cannot be placed in its image");
    RecordMaker maker(lab, computer, log, local, domain);
    std::vector<platform::EventInput> batch;
    for (uint32_t i = 0; i < count;) {
      batch.clear();
      for (; i < count && batch.size() < kBatch; ++i) batch.push_back(maker.Next(i == 0));
      if (DWORD rc = platform::AppendEventRecords(location, batch); rc != ERROR_SUCCESS)
        return Fail(rc == ERROR_LOG_FILE_FULL
                        ? "the " + log + " log of " + computer.name + " is full before its " + std::to_string(count) +
                              " records are in: raise log-size in [lab] (" + std::to_string(lab.logSize / 1024) + "K now)"
                        : "cannot write the " + log + " log of " + computer.name + ": " + Reason(rc));
    }
  }
  return 0;
}

// The computer's audit policy on its image, in the layout its version has (the image was made
// with it), as the LSA would set it; host.ini's faults are the network's, not the image's.
int SetAuditPolicy(const LabComputer& c, const platform::ComputerImage& image) {
  if (c.audit.empty()) return 0;
  DWORD options[7] = {};
  const bool off = c.audit == "off";
  if (!off && !ParsePolicyText(c.audit, options)) return Fail(c.name + ": bad audit policy " + c.audit);
  std::string why;
  NTSTATUS status = platform::ChangeImageAuditEvents(image, false, [&](platform::AuditEventsValue& value) {
    if (off) value.mode = 0;
    else platform::MergeAuditEvents(value, 1, options, 7);
    return STATUS_SUCCESS;
  }, &why);
  if (status != STATUS_SUCCESS) return Fail(c.name + ": cannot set its audit policy: " + why);
  return 0;
}

int Build(const std::string& folder, const LabDescription& lab) {
  std::map<std::string, std::vector<uint8_t>> dlls;
  for (const LabMessages& m : lab.messages) {
    std::string text, error;
    MessageTextFile file;
    if (!ReadText(folder + "/" + m.file, text)) return Fail("cannot read " + folder + "/" + m.file);
    if (!ParseMessageTextFile(text, file, error)) return Fail(m.file + ": " + error);
    dlls[m.name] = platform::WriteMessageDll(file.languages, {m.ansi, false});
    if (dlls[m.name].empty()) return Fail(m.file + ": a message is too long for a message table");
  }
  for (const LabComputer& c : lab.computers) {
    platform::ComputerImage existing;
    if (platform::FindComputer(c.name, existing) == ERROR_SUCCESS)
      return Fail("computer " + existing.name + " already exists in the network folder " + platform::NetworkFolder() +
                  ": a lab is built into a network without its computers (hostkit remove takes one away)");
  }
  const auto registry = RegistryChanges(lab);
  std::vector<platform::ComputerImage> images;
  for (const LabComputer& c : lab.computers) {
    platform::ImageSpec spec;
    spec.name = c.name;
    spec.host = c.host;
    platform::ComputerImage image;
    if (DWORD rc = platform::BuildComputerImage(spec); rc != ERROR_SUCCESS || platform::FindComputer(c.name, image) != ERROR_SUCCESS)
      return Fail("cannot create " + c.name + " in the network folder " + platform::NetworkFolder() + ": " + Reason(rc));
    for (const auto& [name, bytes] : dlls) {
      std::string native;
      if (platform::ResolveImagePath(image, image.host.systemroot + "\\System32\\" + name + ".dll", native,
                                     platform::PathUse::Create) != ERROR_SUCCESS ||
          !WriteWhole(native, bytes))
        return Fail(c.name + ": cannot write " + name + ".dll");
    }
    std::string error;
    if (DWORD rc = platform::ApplyRegText(image, registry, error))
      return Fail(c.name + ": " + error + ": " + Reason(rc));
    if (DWORD rc = platform::ApplyRegText(image, AccountChanges(c), error))
      return Fail(c.name + ": " + error + ": " + Reason(rc));
    images.push_back(image);
  }
  for (size_t i = 0; i < lab.computers.size(); ++i) {
    const LabComputer& c = lab.computers[i];
    // Domain accounts live in the primary controller's SAM.
    size_t controller = i;
    for (size_t j = 0; j < lab.computers.size(); ++j)
      if (lab.computers[j].host.role == "pdc" && platform::EqualsNoCase(lab.computers[j].host.domain, c.host.domain))
        controller = j;
    const Accounts domain(AccountDomainSid(images[controller]), lab.computers[controller].accounts);
    if (int rc = FillLogs(lab, c, images[i], domain)) return rc;
    if (int rc = SetAuditPolicy(c, images[i])) return rc;
    std::string logs;
    for (const auto& [log, count] : c.events) logs += (logs.empty() ? "" : ", ") + log + " " + std::to_string(count);
    std::printf("%-15s %-11s %s%s%s\n", c.name.c_str(), c.host.role.c_str(), logs.c_str(),
                c.host.online ? "" : "  (switched off)", c.host.deny.empty() ? "" : "  (denies some access)");
  }
  return 0;
}

int RunLab(const std::vector<std::string>& args) {
  if (args.size() != 1) return Misused("lab");
  const std::string file = args[0] + "/lab.txt";
  std::string text, error;
  if (!ReadText(file, text)) return Fail("cannot read " + file + ": " + std::strerror(errno));
  LabDescription lab;
  if (!ParseLabDescription(text, lab, error)) return Fail(file + ": " + error);
  for (LabComputer& c : lab.computers) {
    c.name = NetBiosName(c.name);
    c.host.domain = NetBiosName(c.host.domain);
    c.recordName = NetBiosName(c.recordName);
  }
  return Build(args[0], lab);
}

const VerbRegistration kLab({
    "lab",
    "hostkit lab DIR",
    "Builds the lab network that DIR/lab.txt describes into the network folder: its computers,\n"
    "the message DLLs compiled from the lab's .mc files, the event sources in every computer's\n"
    "registry, the accounts of each computer's SAM, its audit policy and each log's records.\n"
    "The same description always builds the same lab. The network folder must not hold the lab's\n"
    "computers yet. The format is described in the README.md beside the demo lab\n"
    "(share/tallyard/lab in an installation).\n",
    RunLab});

}  // namespace
}  // namespace hostkit
