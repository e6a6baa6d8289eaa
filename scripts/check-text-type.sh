#!/usr/bin/env bash
# The library's own folders build for Windows as well as here, so their wide text is written
# in the portable idiom: TEXT("..."), WCHAR, WString/WStringView (kvwin/wide_string.h).
# A u"..." literal, std::u16string or char16_t there would build here and break the Windows
# build; this check fails on any of them and names the lines.
set -euo pipefail
cd "$(dirname "$0")/.."

folders=(entry xml wmi script launcher log errors files platform)
pattern='(^|[^A-Za-z0-9_])u["'"'"']|\bu16string|\bchar16_t\b'
if found="$(grep -rnE --include='*.h' --include='*.cpp' "$pattern" "${folders[@]}")"; then
    echo "check-text-type: the library's folders must write wide text as TEXT(...)/WCHAR/WString:" >&2
    echo "$found" >&2
    exit 1
fi
echo "check-text-type: the library's folders use the portable text type"
