#include "linux/power_supply.h"

#include "linux/text_util.h"

namespace kvlinux {

namespace {

std::optional<std::uint64_t> Number(const std::string& path) {
    auto line = ReadFirstLine(path);
    return line ? ParseUnsigned(*line) : std::nullopt;
}

std::optional<std::string> Word(const std::string& path) {
    auto line = ReadFirstLine(path);
    if (!line || Trim(*line).empty())
        return std::nullopt;
    return std::string(Trim(*line));
}

}  // namespace

std::vector<Battery> ReadBatteries(const std::string& sys_root) {
    std::vector<Battery> batteries;
    const std::string dir = sys_root + "/class/power_supply";
    for (const std::string& name : ListFolder(dir)) {
        const std::string path = dir + "/" + name;
        if (Word(path + "/type") != "Battery" || Word(path + "/scope") == "Device")
            continue;
        if (Word(path + "/present") == "0")
            continue;  // an empty battery bay
        Battery b;
        b.name = name;
        b.status = Word(path + "/status").value_or("Unknown");
        if (auto capacity = Number(path + "/capacity"); capacity && *capacity <= 100)
            b.capacity_percent = static_cast<std::uint32_t>(*capacity);
        b.voltage_min_design_uv = Number(path + "/voltage_min_design");
        b.energy_full_design_uwh = Number(path + "/energy_full_design");
        b.energy_full_uwh = Number(path + "/energy_full");
        b.energy_now_uwh = Number(path + "/energy_now");
        b.power_now_uw = Number(path + "/power_now");
        // Batteries that count charge: energy is charge times the design voltage.
        if (b.voltage_min_design_uv) {
            const std::uint64_t volts_uv = *b.voltage_min_design_uv;
            auto energy = [&](const char* charge_file) -> std::optional<std::uint64_t> {
                auto charge = Number(path + "/" + charge_file);
                if (!charge)
                    return std::nullopt;
                return static_cast<std::uint64_t>(static_cast<double>(*charge) *
                                                  static_cast<double>(volts_uv) / 1e6);
            };
            if (!b.energy_full_design_uwh)
                b.energy_full_design_uwh = energy("charge_full_design");
            if (!b.energy_full_uwh)
                b.energy_full_uwh = energy("charge_full");
            if (!b.energy_now_uwh)
                b.energy_now_uwh = energy("charge_now");
            if (!b.power_now_uw) {
                if (auto current = Number(path + "/current_now"))
                    b.power_now_uw = static_cast<std::uint64_t>(
                        static_cast<double>(*current) * static_cast<double>(volts_uv) / 1e6);
            }
        }
        b.technology = Word(path + "/technology");
        b.manufacturer = Word(path + "/manufacturer");
        b.model_name = Word(path + "/model_name");
        b.serial_number = Word(path + "/serial_number");
        batteries.push_back(std::move(b));
    }
    return batteries;
}

}  // namespace kvlinux
