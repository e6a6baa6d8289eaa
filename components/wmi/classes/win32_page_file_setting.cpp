// Win32_PageFileSetting: one instance per swap area configured in /etc/fstab (type swap).
// Name is the entry as written there ("/swapfile", "UUID=..."); a swap area is sized once
// and for all, so InitialSize and MaximumSize are both its size in MiB while it is active
// (/proc/swaps), null otherwise.
#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillPageFileSetting(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kPageFileSettingClass{u"root\\cimv2",
                                      u"Win32_PageFileSetting",
                                      {
                                          {u"Caption", CIM_STRING},
                                          {u"Description", CIM_STRING},
                                          {u"InitialSize", CIM_UINT32},
                                          {u"MaximumSize", CIM_UINT32},
                                          {u"Name", CIM_STRING, true},
                                          {u"SettingID", CIM_STRING},
                                      },
                                      FillPageFileSetting};

void FillPageFileSetting(const ClassDecl& decl, std::vector<Instance>& out) {
    FillPageFileSettingsFrom(
        decl, kvlinux::ParseFstabSwaps(kvlinux::ReadFileText("/etc/fstab").value_or("")),
        kvlinux::ReadSwapAreas(), out);
}

}  // namespace

void FillPageFileSettingsFrom(const ClassDecl& decl, const std::vector<std::string>& configured,
                              const std::vector<kvlinux::SwapArea>& active,
                              std::vector<Instance>& out) {
    for (const std::string& name : configured) {
        InstanceBuilder b(decl);
        b.Set(u"Name", Text(name));
        b.Set(u"Caption", Text(name));
        b.Set(u"Description", Text(name));
        b.Set(u"SettingID", Text(name));
        // The active area of the entry: the same path, or the device a UUID= or LABEL=
        // entry names.
        std::optional<std::string> device;
        if (kvlinux::StartsWith(name, "UUID=") || kvlinux::StartsWith(name, "LABEL="))
            device = kvlinux::ReadLink(std::string("/dev/disk/by-") +
                                       (name[0] == 'U' ? "uuid/" : "label/") +
                                       name.substr(name.find('=') + 1));
        for (const kvlinux::SwapArea& area : active) {
            const bool same =
                area.path == name || (device && area.path.substr(area.path.rfind('/') + 1) ==
                                                    device->substr(device->rfind('/') + 1));
            if (same) {
                const auto mib =
                    Unsigned(std::min<std::uint64_t>(area.size_kib / 1024, 0xFFFFFFFF));
                b.Set(u"InitialSize", mib);
                b.Set(u"MaximumSize", mib);
            }
        }
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kPageFileSettingClass);

}  // namespace kvwmi
