// Classes registered in the test program (KAVREL_WMI_CLASS), with fixed instances:
//
//   root\cimv2         Kv_TestTypes   one property of every CIM type, three instances
//                                     ("alpha", "Beta", "gamma [1]")
//   root\cimv2         Kv_TestFails   a fill function that throws
//   root\kavrel\test  Kv_Other       an empty class in a namespace of its own
//   root\cimv2         Kv_TestSelective  a selective fill with one costly property, Costly,
//                                     whose computations CostlyComputations() counts
//   root\cimv2         Kv_TestEmbedded  one instance ("box") holding embedded Kv_Part objects:
//                                     One (scalar, "lid", itself holding Inner "hinge"),
//                                     Many ("a" size 1, "b" size 2), None (null)
#include <atomic>
#include <memory>
#include <stdexcept>

#include "provider/class_decl.h"

namespace {

using kvwmi::ClassDecl;
using kvwmi::Instance;
using kvwmi::InstanceBuilder;

void FillTypes(const ClassDecl& decl, std::vector<Instance>& out) {
    out.push_back(InstanceBuilder(decl)
                      .Set(u"Name", std::u16string(u"alpha"))
                      .Set(u"Flag", true)
                      .Set(u"S8", std::int64_t(-5))
                      .Set(u"U8", std::uint64_t(200))
                      .Set(u"S16", std::int64_t(-300))
                      .Set(u"U16", std::uint64_t(65535))
                      .Set(u"S32", std::int64_t(-70000))
                      .Set(u"U32", std::uint64_t(4294967295u))
                      .Set(u"S64", std::int64_t(-9000000000))
                      .Set(u"U64", std::uint64_t(18446744073709551615u))
                      .Set(u"R32", 1.5)
                      .Set(u"R64", 2.25)
                      .Set(u"When", std::u16string(u"20240131235959.000000+060"))
                      .Set(u"Tags", std::vector<std::u16string>{u"a", u"b\"c"})
                      .Set(u"Codes", std::vector<std::int64_t>{5, 7, -3})
                      .Set(u"Big", std::vector<std::int64_t>{-1, 2})
                      .Set(u"Bits", std::vector<std::int64_t>{1, 0})
                      .Set(u"Small", std::vector<std::int64_t>{1, 255})
                      .Take());
    out.push_back(InstanceBuilder(decl)
                      .Set(u"Name", std::u16string(u"Beta"))
                      .Set(u"Flag", false)
                      .Set(u"U32", std::uint64_t(10))
                      .Set(u"U64", std::uint64_t(10))
                      .Set(u"S32", std::int64_t(10))
                      .Set(u"R64", -0.5)
                      .Set(u"Tags", std::vector<std::u16string>{})
                      .Take());
    out.push_back(InstanceBuilder(decl)
                      .Set(u"Name", std::u16string(u"gamma [1]"))
                      .Set(u"U32", std::uint64_t(3000000000u))
                      .Set(u"U64", std::uint64_t(9))
                      .Set(u"S32", std::int64_t(-1))
                      .Take());
}

const ClassDecl kTestTypes{
    u"root\\cimv2",
    u"Kv_TestTypes",
    {
        {u"Name", CIM_STRING, true},
        {u"Flag", CIM_BOOLEAN},
        {u"S8", CIM_SINT8},
        {u"U8", CIM_UINT8},
        {u"S16", CIM_SINT16},
        {u"U16", CIM_UINT16},
        {u"S32", CIM_SINT32},
        {u"U32", CIM_UINT32},
        {u"S64", CIM_SINT64},
        {u"U64", CIM_UINT64},
        {u"R32", CIM_REAL32},
        {u"R64", CIM_REAL64},
        {u"When", CIM_DATETIME},
        {u"Tags", CIM_STRING | CIM_FLAG_ARRAY},
        {u"Codes", CIM_UINT32 | CIM_FLAG_ARRAY},
        {u"Big", CIM_UINT64 | CIM_FLAG_ARRAY},
        {u"Bits", CIM_BOOLEAN | CIM_FLAG_ARRAY},
        {u"Small", CIM_UINT8 | CIM_FLAG_ARRAY},
    },
    FillTypes,
};
KAVREL_WMI_CLASS(kTestTypes);

void FillFails(const ClassDecl&, std::vector<Instance>&) {
    throw std::runtime_error("the test provider cannot read its source");
}

const ClassDecl kTestFails{
    u"root\\cimv2", u"Kv_TestFails", {{u"Name", CIM_STRING, true}}, FillFails};
KAVREL_WMI_CLASS(kTestFails);

void FillNothing(const ClassDecl&, std::vector<Instance>&) {}

const ClassDecl kOther{
    u"root\\kavrel\\test", u"Kv_Other", {{u"Id", CIM_UINT32, true}}, FillNothing};
KAVREL_WMI_CLASS(kOther);

std::atomic<int> costly_computations{0};

void FillSelective(const ClassDecl& decl, const kvwmi::Selection& selection,
                   std::vector<Instance>& out) {
    for (std::uint64_t id : {1u, 2u}) {
        InstanceBuilder b(decl);
        b.Set(u"Id", id).Set(u"Cheap", std::u16string(u"cheap"));
        if (selection.Wants(decl, u"Costly")) {
            ++costly_computations;
            b.Set(u"Costly", std::uint64_t(40 + id));
        }
        out.push_back(b.Take());
    }
}

const ClassDecl kTestSelective{u"root\\cimv2",
                               u"Kv_TestSelective",
                               {{u"Id", CIM_UINT32, true},
                                {u"Cheap", CIM_STRING},
                                {u"Costly", CIM_UINT32},
                                {u"Other", CIM_STRING}},
                               nullptr,
                               FillSelective};
KAVREL_WMI_CLASS(kTestSelective);

// Not registered: met only embedded.
const ClassDecl kPart{u"root\\cimv2",
                      u"Kv_Part",
                      {{u"Label", CIM_STRING}, {u"Size", CIM_UINT32}, {u"Inner", CIM_OBJECT}},
                      nullptr};

std::shared_ptr<const kvwmi::EmbeddedObject> Part(const char16_t* label, std::uint64_t size,
                                                  kvwmi::CimValue inner = {}) {
    InstanceBuilder b(kPart);
    b.Set(u"Label", std::u16string(label)).Set(u"Size", size).Set(u"Inner", std::move(inner));
    return std::make_shared<const kvwmi::EmbeddedObject>(kvwmi::EmbeddedObject{&kPart, b.Take()});
}

void FillEmbedded(const ClassDecl& decl, std::vector<Instance>& out) {
    InstanceBuilder b(decl);
    b.Set(u"Name", std::u16string(u"box"));
    b.Set(u"One",
          kvwmi::EmbeddedObjects{Part(u"lid", 7, kvwmi::EmbeddedObjects{Part(u"hinge", 0)})});
    b.Set(u"Many", kvwmi::EmbeddedObjects{Part(u"a", 1), Part(u"b", 2)});
    out.push_back(b.Take());
}

const ClassDecl kTestEmbedded{u"root\\cimv2",
                              u"Kv_TestEmbedded",
                              {{u"Name", CIM_STRING, true},
                               {u"One", CIM_OBJECT},
                               {u"Many", CIM_OBJECT | CIM_FLAG_ARRAY},
                               {u"None", CIM_OBJECT}},
                              FillEmbedded};
KAVREL_WMI_CLASS(kTestEmbedded);

}  // namespace

namespace kvwmitest {
int CostlyComputations() {
    return costly_computations.load();
}
}  // namespace kvwmitest
