// Win32_TimeZone: the machine's time zone (/etc/localtime), one instance, described as
// Windows describes one.
//
// Bias is the standard offset from UTC in minutes, east positive (Paris 60, New York -300),
// the sign WMI uses in this class. StandardName and DaylightName are the Windows names when
// the zone has a Windows equivalent ("Romance Standard Time"), else the zone's
// abbreviations ("CET"); SettingID is the Olson name ("Europe/Paris"), and Caption
// "(UTC+01:00) Europe/Paris". The transition fields give the yearly rule in the Windows
// form: month, week of the month (5 = last), day of week (0 = Sunday) and the time of day;
// zones without daylight time have them all 0, as on Windows, and a rule Windows cannot
// express leaves them null.
#include <cstdio>
#include <ctime>

#include "classes/class_values.h"
#include "linux/time_zone_info.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillTimeZone(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kTimeZoneClass{u"root\\cimv2",
                               u"Win32_TimeZone",
                               {
                                   {u"Caption", CIM_STRING},
                                   {u"Description", CIM_STRING},
                                   {u"SettingID", CIM_STRING},
                                   {u"Bias", CIM_SINT32},
                                   {u"DaylightBias", CIM_SINT32},
                                   {u"DaylightDay", CIM_UINT32},
                                   {u"DaylightDayOfWeek", CIM_UINT8},
                                   {u"DaylightHour", CIM_UINT32},
                                   {u"DaylightMillisecond", CIM_UINT32},
                                   {u"DaylightMinute", CIM_UINT32},
                                   {u"DaylightMonth", CIM_UINT32},
                                   {u"DaylightName", CIM_STRING},
                                   {u"DaylightSecond", CIM_UINT32},
                                   {u"DaylightYear", CIM_UINT32},
                                   {u"StandardBias", CIM_UINT32},
                                   {u"StandardDay", CIM_UINT32},
                                   {u"StandardDayOfWeek", CIM_UINT8},
                                   {u"StandardHour", CIM_UINT32},
                                   {u"StandardMillisecond", CIM_UINT32},
                                   {u"StandardMinute", CIM_UINT32},
                                   {u"StandardMonth", CIM_UINT32},
                                   {u"StandardName", CIM_STRING, true},
                                   {u"StandardSecond", CIM_UINT32},
                                   {u"StandardYear", CIM_UINT32},
                               },
                               FillTimeZone};

std::string UtcCaption(std::int32_t bias, const std::string& zone) {
    char text[32];
    const std::int32_t magnitude = bias < 0 ? -bias : bias;
    std::snprintf(text, sizeof text, "(UTC%c%02d:%02d) ", bias < 0 ? '-' : '+', int(magnitude / 60),
                  int(magnitude % 60));
    return text + zone;
}

void SetTransition(InstanceBuilder& b, const char16_t* prefix, bool has_dst,
                   const std::optional<kvlinux::TransitionDate>& date) {
    std::u16string p = prefix;
    if (has_dst && !date)
        return;  // a rule Windows has no form for
    kvlinux::TransitionDate d = date.value_or(kvlinux::TransitionDate{});
    b.Set(p + u"Month", Unsigned(d.month));
    b.Set(p + u"Day", Unsigned(d.week));
    b.Set(p + u"DayOfWeek", Unsigned(d.weekday));
    b.Set(p + u"Hour", Unsigned(d.hour));
    b.Set(p + u"Minute", Unsigned(d.minute));
}

void FillTimeZone(const ClassDecl& decl, std::vector<Instance>& out) {
    const auto zone = kvlinux::DescribeZone(*kvlinux::MachineZone(), std::time(nullptr));
    const std::string caption = UtcCaption(zone.bias_minutes, zone.zone_name);
    const bool has_dst = zone.daylight_bias != 0;
    InstanceBuilder b(decl);
    b.Set(u"StandardName", Text(zone.standard_name));
    b.Set(u"Caption", Text(caption));
    b.Set(u"Description", Text(caption));
    b.Set(u"SettingID", Text(zone.zone_name));
    b.Set(u"DaylightName", Text(zone.daylight_name));
    b.Set(u"Bias", Signed(zone.bias_minutes));
    b.Set(u"StandardBias", Unsigned(0));
    b.Set(u"DaylightBias", Signed(zone.daylight_bias));
    SetTransition(b, u"Standard", has_dst, zone.standard_start);
    SetTransition(b, u"Daylight", has_dst, zone.daylight_start);
    out.push_back(b.Take());
}

}  // namespace

KAVREL_WMI_CLASS(kTimeZoneClass);

}  // namespace kvwmi
