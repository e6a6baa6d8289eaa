// Win32_BootConfiguration: the one boot configuration of the machine. BootDirectory is
// /boot, ConfigurationPath the boot loader's folder there (/boot/grub, /boot/efi, else
// /boot); the temporary folders are /tmp. Drive letters do not exist: LastDrive is null.
#include "classes/class_values.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillBootConfiguration(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kBootConfigurationClass{u"root\\cimv2",
                                        u"Win32_BootConfiguration",
                                        {
                                            {u"Caption", CIM_STRING},
                                            {u"Description", CIM_STRING},
                                            {u"SettingID", CIM_STRING},
                                            {u"BootDirectory", CIM_STRING},
                                            {u"ConfigurationPath", CIM_STRING},
                                            {u"LastDrive", CIM_STRING},
                                            {u"Name", CIM_STRING, true},
                                            {u"ScratchDirectory", CIM_STRING},
                                            {u"TempDirectory", CIM_STRING},
                                        },
                                        FillBootConfiguration};

void FillBootConfiguration(const ClassDecl& decl, std::vector<Instance>& out) {
    std::string configuration = "/boot";
    for (const char* folder : {"/boot/grub", "/boot/grub2", "/boot/efi"}) {
        if (kvlinux::IsFolder(folder)) {
            configuration = folder;
            break;
        }
    }
    InstanceBuilder b(decl);
    b.Set(u"Name", Text("BootConfiguration"));
    b.Set(u"Caption", Text("Boot Configuration"));
    b.Set(u"Description", Text("Boot Configuration"));
    b.Set(u"SettingID", Text("BootConfiguration"));
    b.Set(u"BootDirectory", Text("/boot"));
    b.Set(u"ConfigurationPath", Text(configuration));
    b.Set(u"ScratchDirectory", Text("/tmp"));
    b.Set(u"TempDirectory", Text("/tmp"));
    out.push_back(b.Take());
}

}  // namespace

KAVREL_WMI_CLASS(kBootConfigurationClass);

}  // namespace kvwmi
