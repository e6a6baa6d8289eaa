// Win32_QuickFixEngineering: the updates installed on top of the operating system. A Debian
// system has no such separate hot fixes: updates replace packages, whose versions
// Win32_Product lists. The class is declared so queries for it succeed, and has no
// instances.
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillQuickFixEngineering(const ClassDecl&, std::vector<Instance>&) {}

const ClassDecl kQuickFixEngineeringClass{u"root\\cimv2",
                                          u"Win32_QuickFixEngineering",
                                          {
                                              {u"Caption", CIM_STRING},
                                              {u"Description", CIM_STRING},
                                              {u"InstallDate", CIM_DATETIME},
                                              {u"Name", CIM_STRING},
                                              {u"Status", CIM_STRING},
                                              {u"CSName", CIM_STRING},
                                              {u"FixComments", CIM_STRING},
                                              {u"HotFixID", CIM_STRING, true},
                                              {u"InstalledBy", CIM_STRING},
                                              {u"InstalledOn", CIM_STRING},
                                              {u"ServicePackInEffect", CIM_STRING, true},
                                          },
                                          FillQuickFixEngineering};

}  // namespace

KAVREL_WMI_CLASS(kQuickFixEngineeringClass);

}  // namespace kvwmi
