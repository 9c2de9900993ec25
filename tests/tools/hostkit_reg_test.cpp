// hostkit create and reg: images of every role, registry text in and out, broken files.
#include <gtest/gtest.h>

#include "platform/registry/hive_format.h"
#include "platform/registry/hive_image.h"
#include "platform/registry/hive_regtext.h"
#include "platform/registry/registry.h"
#include "tests/support/golden.h"
#include "tests/support/temp_network.h"
#include "tests/support/tool_run.h"

using namespace platform;

namespace {

const std::string kHostkit = std::string(TALLYARD_BINARY_DIR) + "/tools/hostkit/hostkit";

class HostkitRegTest : public ::testing::Test {
 protected:
  TempNetwork net;
  std::string Hk(const std::string& args) { return Quoted(kHostkit) + " " + args + " --network " + Quoted(net.network()); }
  std::string Config(const std::string& name) const { return net.network() + "/" + name + "/C/WINNT/System32/config"; }
};

TEST_F(HostkitRegTest, CreateBuildsEachRolesImage) {
  // The independent readers must open every hive we build (checked where they are installed).
  const bool haveOracles = RunTool("command -v regfexport && command -v hivexregedit") == 0;
  struct Case {
    const char* args;
    const char* name;
    const char* productType;
    int polSrvRo;  // -1: none
    size_t auditBytes;
  } cases[] = {
      {"create WKS1", "WKS1", "WinNT", -1, 36},
      {"create SRV1 --role server --domain LAB", "SRV1", "ServerNT", -1, 36},
      {"create PDC1 --role pdc --domain LAB", "PDC1", "LanmanNT", 3, 36},
      {"create BDC1 --role bdc --domain LAB --version 5.0 --systemroot C:\\\\WINDOWS", "BDC1", "LanmanNT", 2, 44},
  };
  for (const auto& c : cases) {
    std::string out;
    ASSERT_EQ(RunTool(Hk(c.args), &out), 0) << c.args << ": " << out;
    ComputerImage image;
    ASSERT_EQ(FindComputer(c.name, image), 0u);
    RegistryValue v;
    ASSERT_EQ(ReadImageValue(image, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType", v), 0u) << c.name;
    EXPECT_EQ(ValueText(v), c.productType) << c.name;
    ASSERT_EQ(ReadImageValue(image, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName", v), 0u);
    EXPECT_EQ(ValueText(v), c.name);
    ASSERT_EQ(ReadImageValue(image, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Security", "File", v), 0u);
    EXPECT_EQ(v.type, REG_EXPAND_SZ);
    EXPECT_EQ(ValueText(v), "%SystemRoot%\\System32\\config\\SecEvent.Evt");
    ASSERT_EQ(ReadImageValue(image, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", v), 0u);
    EXPECT_EQ(ValueText(v), image.host.systemroot);
    ASSERT_EQ(ReadImageValue(image, "SECURITY\\Policy\\PolAdtEv", "", v), 0u);
    EXPECT_EQ(v.type, REG_NONE);
    ASSERT_EQ(v.data.size(), c.auditBytes) << c.name;
    EXPECT_EQ(v.data[0], 0) << "auditing off";
    EXPECT_EQ(LoadLe32(reinterpret_cast<const unsigned char*>(v.data.data()) + v.data.size() - 4), (c.auditBytes - 8) / 4);
    DWORD rc = ReadImageValue(image, "SECURITY\\Policy\\PolSrvRo", "", v);
    if (c.polSrvRo < 0) {
      EXPECT_EQ(rc, DWORD{ERROR_FILE_NOT_FOUND}) << c.name;
    } else {
      ASSERT_EQ(rc, 0u) << c.name;
      EXPECT_EQ(LoadLe32(reinterpret_cast<const unsigned char*>(v.data.data())), DWORD(c.polSrvRo));
    }
    ASSERT_EQ(ReadImageValue(image, "SAM\\SAM\\Domains\\Account\\Users\\Names\\Administrator", "", v), 0u);
    EXPECT_EQ(v.type, 500u);
    ASSERT_EQ(ReadImageValue(image, "SAM\\SAM\\Domains\\Account\\Users\\Names\\Guest", "", v), 0u);
    EXPECT_EQ(v.type, 501u);
    for (const char* hive : {"SAM", "SECURITY", "SOFTWARE", "SYSTEM"})
    {
      std::string file;
      ASSERT_EQ(ImageHiveFile(image, hive, file), 0u);
      EXPECT_EQ(CheckHiveFile(file), 0u) << c.name << " " << hive;
      if (haveOracles) {
        std::string oracle;
        EXPECT_EQ(RunTool("regfexport " + Quoted(file), &oracle), 0) << c.name << " " << hive << ": " << oracle.substr(0, 200);
        EXPECT_EQ(RunTool("hivexregedit --export " + Quoted(file) + " '\\'", &oracle), 0) << c.name << " " << hive;
      }
    }
  }
  // Machine SIDs differ between computers.
  ComputerImage a, b;
  RegistryValue va, vb;
  ASSERT_EQ(FindComputer("WKS1", a), 0u);
  ASSERT_EQ(FindComputer("SRV1", b), 0u);
  ASSERT_EQ(ReadImageValue(a, "SAM\\SAM\\Domains\\Account", "V", va), 0u);
  ASSERT_EQ(ReadImageValue(b, "SAM\\SAM\\Domains\\Account", "V", vb), 0u);
  EXPECT_NE(va.data, vb.data);
}

// A host.ini's system root makes its folders inside the image's drive folder only: one that
// climbs out of it, or through a link out of it, is refused and nothing outside is made.
TEST_F(HostkitRegTest, SystemRootFoldersStayInsideTheImage) {
  const std::string outside = net.root() + "/outside";
  const struct {
    const char* name;
    const char* systemroot;
    bool made;
  } cases[] = {
      {"CLIMB1", "C:\\..\\..\\..\\outside\\x", false},
      {"CLIMB2", "C:\\WINNT\\..\\..\\..\\..\\outside", false},
      {"LINKED", "C:\\link\\x", false},
      {"DEEP", "C:\\Deep\\..\\Er", true},
  };
  std::filesystem::create_directories(outside);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HostInfo info;
    info.systemroot = c.systemroot;
    std::string dir = net.AddComputer(c.name, info);
    std::filesystem::create_directory_symlink(outside, dir + "/C/link");
    ImageSpec spec;
    spec.name = c.name;
    DWORD rc = BuildComputerImage(spec);
    EXPECT_EQ(rc == 0, c.made) << rc;
    EXPECT_TRUE(std::filesystem::is_empty(outside));
    EXPECT_EQ(std::filesystem::is_directory(dir + "/C/Er/System32/config"), c.made);
  }
}

TEST_F(HostkitRegTest, ImportThenExportGivesTheSameText) {
  ASSERT_EQ(RunTool(Hk("create SRV1")), 0);
  ASSERT_EQ(RunTool(Hk("create SRV2")), 0);
  const std::string reg =
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Deep]\r\n"  // parents made as needed
      "\"Text\"=\"C:\\\\Path \\\"quoted\\\" Zo\xC3\xAB\"\r\n"
      "@=dword:0000002a\r\n"
      "\"Bin\"=hex:01,02,\\\r\n"
      "  03,ff\r\n"
      "\"Exp\"=hex(2):25,00,53,00,25,00,00,00\r\n"
      "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      "\"Rid\"=hex(1f4):\r\n"
      "\"None\"=hex(0):00\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\MySource]\r\n"
      "\"EventMessageFile\"=hex(2):25,00,00,00\r\n";
  const std::string file = net.root() + "/in.reg";
  TempNetwork::WriteFile(file, reg);
  std::string out;
  ASSERT_EQ(RunTool(Hk("reg import SRV1 " + Quoted(file)), &out), 0) << out;
  ComputerImage srv;
  ASSERT_EQ(FindComputer("SRV1", srv), 0u);
  RegistryValue v;
  ASSERT_EQ(ReadImageValue(srv, "SOFTWARE\\Vendor\\App\\Deep", "Text", v), 0u);
  EXPECT_EQ(ValueText(v), "C:\\Path \"quoted\" Zo\xC3\xAB");
  ASSERT_EQ(ReadImageValue(srv, "SOFTWARE\\Vendor\\App\\Deep", "Bin", v), 0u);
  EXPECT_EQ(v.data, std::string("\x01\x02\x03\xff", 4));
  ASSERT_EQ(ReadImageValue(srv, "SYSTEM\\ControlSet001\\Services\\EventLog\\Application\\MySource", "EventMessageFile", v), 0u);
  std::string exported;
  ASSERT_EQ(RunTool(Hk("reg export SRV1 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor'"), &exported), 0) << exported;
  EXPECT_NE(exported.find("@=dword:0000002a"), std::string::npos) << exported;
  EXPECT_NE(exported.find("\"Rid\"=hex(1f4):"), std::string::npos) << exported;
  // The exported text imported elsewhere exports the same.
  TempNetwork::WriteFile(file, exported);
  ASSERT_EQ(RunTool(Hk("reg import SRV2 " + Quoted(file)), &out), 0) << out;
  std::string again;
  ASSERT_EQ(RunTool(Hk("reg export SRV2 'SOFTWARE\\Vendor'"), &again), 0);
  EXPECT_EQ(again, exported);
  // Deletions.
  TempNetwork::WriteFile(file, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App\\Deep]\n\"Bin\"=-\n"
                               "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\App]\n");
  ASSERT_EQ(RunTool(Hk("reg import SRV2 " + Quoted(file)), &out), 0) << out;
  std::vector<std::string> left;
  ASSERT_EQ(ListImageSubkeys(srv, "SOFTWARE\\Vendor", left), 0u);  // SRV1 untouched
  EXPECT_EQ(left.size(), 1u);
  ComputerImage srv2;
  ASSERT_EQ(FindComputer("SRV2", srv2), 0u);
  ASSERT_EQ(ListImageSubkeys(srv2, "SOFTWARE\\Vendor", left), 0u);
  EXPECT_TRUE(left.empty());
  // REGEDIT4's expandable strings are 8-bit text.
  TempNetwork::WriteFile(file, "REGEDIT4\n[HKLM\\SOFTWARE\\R4]\n\"E\"=hex(2):41,42,00\n");
  ASSERT_EQ(RunTool(Hk("reg import SRV2 " + Quoted(file)), &out), 0) << out;
  ASSERT_EQ(ReadImageValue(srv2, "SOFTWARE\\R4", "E", v), 0u);
  EXPECT_EQ(v.data, Utf8ToUtf16Le(std::string("AB\0", 3)));
  // A UTF-16 file, as regedit writes version 5 files.
  TempNetwork::WriteFile(file, std::string("\xFF\xFE", 2) +
                                   Utf8ToUtf16Le("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\U16]\r\n\"A\"=\"b\"\r\n"));
  ASSERT_EQ(RunTool(Hk("reg import SRV2 " + Quoted(file)), &out), 0) << out;
  ASSERT_EQ(ReadImageValue(srv2, "SOFTWARE\\U16", "A", v), 0u);
}

// Every refusal exits with its own code and says why, and changes nothing: a crash or a
// half-done change is no refusal.
TEST_F(HostkitRegTest, GoldenRefusals) {
  ASSERT_EQ(RunTool(Hk("create SRV1")), 0);
  ASSERT_EQ(RunTool(Hk("create WKS1")), 0);
  const std::string file = net.root() + "/input";
  const auto before = TreeState(net.network());
  for (const GoldenCase& c : ReadGolden("tools/golden/refusals.txt")) {
    SCOPED_TRACE(c.name);
    TempNetwork::WriteFile(file, c.Get("file"));
    std::string args = c.Get("args"), out;
    if (auto at = args.find("{file}"); at != std::string::npos) args.replace(at, 6, Quoted(file));
    EXPECT_EQ(RunTool(Hk(args), &out), static_cast<int>(c.Number("code"))) << out;
    EXPECT_NE(out.find(c.Get("message")), std::string::npos) << out;
  }
  EXPECT_EQ(TreeState(net.network()), before);
}

}  // namespace
