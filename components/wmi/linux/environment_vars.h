// Environment variables: the machine-wide ones of /etc/environment (read by pam_env at every
// log-on) and a process's own environment block.
//
// Pure parsing plus file reads; safe from any thread.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvlinux {

using EnvVar = std::pair<std::string, std::string>;

// Parses /etc/environment: NAME=value lines; an "export " prefix is accepted, a value in
// single or double quotes is unquoted, comments and lines without a valid name are skipped.
std::vector<EnvVar> ParseEtcEnvironment(std::string_view content);
std::vector<EnvVar> ReadEtcEnvironment(const std::string& root = "/");

// The variables of every *.conf file of an environment.d folder (systemd's per-user
// persistent environment, ~/.config/environment.d), files in name order, later
// assignments replacing earlier ones. Values are kept as written, $VAR references included.
std::vector<EnvVar> ReadEnvironmentDir(const std::string& dir);

// Splits a NUL-separated environment block (/proc/<pid>/environ). Entries without '=' are
// skipped.
std::vector<EnvVar> ParseEnvironBlock(std::string_view content);

// This process's environment, in its order.
std::vector<EnvVar> CurrentEnvironment();

}  // namespace kvlinux
