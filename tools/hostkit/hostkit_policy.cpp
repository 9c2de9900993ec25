// hostkit policy: a computer's audit policy, shown as the audit run's report shows it, and set
// on the image itself (host.ini's faults are the network's, not the image owner's).
#include <cstdio>
#include <string>

#include "audit/audit_policy.h"
#include "platform/core/network.h"
#include "platform/lsa/lsa.h"
#include "tools/hostkit/event_fields.h"
#include "tools/hostkit/hostkit.h"

namespace {

int Change(const platform::ComputerImage& image, bool createMissing,
           const std::function<NTSTATUS(platform::AuditEventsValue&)>& change) {
  std::string why;
  if (NTSTATUS s = platform::ChangeImageAuditEvents(image, createMissing, change, &why)) {
    if (why.empty()) why = hostkit::Reason(LsaNtStatusToWinError(s));
    return hostkit::Fail("cannot change the audit policy of " + image.name + ": " + why);
  }
  return 0;
}

int Policy(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  std::string layout, set;
  const bool haveLayout = hostkit::TakeOption(args, "--layout", layout);
  const bool haveSet = hostkit::TakeOption(args, "--set", set);
  const bool off = hostkit::TakeFlag(args, "--off");
  if (args.size() != 1) return hostkit::Misused("policy");
  if (haveSet && off) return hostkit::Misused("policy", "--set and --off exclude each other");
  uint32_t categories = 0;
  if (haveLayout) {
    if (layout == "nt4") categories = 7;
    else if (layout == "2000") categories = 9;
    else return hostkit::Fail("--layout must be nt4 (7 categories, 36 bytes) or 2000 (9 categories, 44 bytes)", 2);
  }
  DWORD options[kAuditCategoryCount] = {};
  if (haveSet && !hostkit::ParsePolicyText(set, options))
    return hostkit::Fail("--set wants the form \"+rlfupsg -rlfupsg\", a letter in upper case for each audited category", 2);

  platform::ComputerImage image;
  if (int rc = hostkit::FindImage(args[0], image)) return rc;
  if (haveLayout) {
    // The categories both layouts have keep their options; new ones start not audited. An image
    // without a policy value gets one, auditing off.
    int rc = Change(image, true, [&](platform::AuditEventsValue& value) {
      value.options.resize(categories, 0);
      return STATUS_SUCCESS;
    });
    if (rc) return rc;
  }
  if (haveSet || off) {
    int rc = Change(image, false, [&](platform::AuditEventsValue& value) {
      if (off) value.mode = 0;
      else platform::MergeAuditEvents(value, 1, options, kAuditCategoryCount);
      return STATUS_SUCCESS;
    });
    if (rc) return rc;
  }

  platform::AuditEventsValue value;
  std::string why;
  if (NTSTATUS s = platform::ReadImageAuditEvents(image, value, &why)) {
    if (why.empty()) why = hostkit::Reason(LsaNtStatusToWinError(s));
    return hostkit::Fail("cannot read the audit policy of " + image.name + ": " + why);
  }
  POLICY_AUDIT_EVENTS_INFO info{value.mode, value.options.data(), static_cast<DWORD>(value.options.size())};
  char text[kPolicyTextSize];
  FormatPolicyText(info, text);
  std::printf("%s\n", text);
  return 0;
}

const hostkit::VerbRegistration registration({
    "policy",
    "hostkit policy NAME [--layout nt4|2000] [--set \"+RLfupsg -rlfupsG\" | --off]",
    "Shows the audit policy of NAME as Praxon's report shows it (\"Auditing Disabled\", or seven\n"
    "letters for the audited successes and seven for the failures), after any change asked for.\n"
    "The letters are the categories: R restart and shutdown, L logon and logoff, F file and object\n"
    "access, U use of user rights, P process tracking, S security policy changes, G user and group\n"
    "management; a letter in upper case audits its category.\n"
    "\n"
    "  --set \"+RLfupsg -rlfupsG\"  audits what the upper-case letters name and switches auditing on\n"
    "  --off                     switches auditing off, keeping the categories\n"
    "  --layout nt4|2000         lays the policy out as NT 4.0 keeps it (7 categories) or as\n"
    "                            Windows 2000 does (9)\n",
    Policy});

}  // namespace
