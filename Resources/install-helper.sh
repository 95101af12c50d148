# Installs the privileged helper at /Library/PrivilegedHelperTools as a launchd daemon and
# records the application's code hash for it (a helper outside the bundle keeps the hash file
# it finds). Run as root by zsh with administrator privileges; written for sh.
#
# Every path is under $VIRTUAL_MAC_ROOT when it is set (the simulated Mac's root).
# Exit status 0 when the helper was installed and loaded; otherwise 1 and one line saying why.
# Every program it starts ends before it does, with its input from /dev/null.

if [ -n "${ZSH_VERSION:-}" ]; then emulate sh; fi
set -u
PATH=/usr/bin:/bin:/usr/sbin:/sbin
export PATH
umask 022

label=com.quillmoor.Ventrella.helper
root=${VIRTUAL_MAC_ROOT:-}
root=${root%/}

fail() {
    printf '%s\n' "Helper installation failed: $*" >&2
    exit 1
}

[ "$(id -u)" = 0 ] || fail "it must run as root."

case $0 in
    /*) script=$0 ;;
    *) script=$(pwd)/$0 ;;
esac
resources=${script%/*}
contents=${resources%/*}
[ "${contents##*/}" = Contents ] || fail "the script is not inside an application bundle."
application=$contents/MacOS/Ventrella
bundled_helper=$contents/Library/LaunchServices/$label
[ -f "$bundled_helper" ] || fail "the application bundle holds no Helper."
[ -f "$application" ] || fail "the application bundle holds no application program."

launchctl=$root/bin/launchctl
codesign=$root/usr/bin/codesign
tools=$root/Library/PrivilegedHelperTools
daemons=$root/Library/LaunchDaemons
support="$root/Library/Application Support/Ventrella"
helper=$tools/$label
plist=$daemons/$label.plist

signature=$("$codesign" show "$application" </dev/null 2>/dev/null) ||
    fail "the application's code signature is not valid."
cdhash=$(printf '%s\n' "$signature" | sed -n 's/^CDHash=\([0-9a-f]\{40\}\)$/\1/p')
[ -n "$cdhash" ] || fail "the application's code hash could not be read."

# The daemon running from the legacy path stops before its program is replaced.
loaded=$("$launchctl" print "system/$label" </dev/null 2>/dev/null | sed -n 's/^	program = //p')
if [ "$loaded" = "$helper" ]; then
    "$launchctl" bootout "system/$label" </dev/null >/dev/null 2>&1 ||
        fail "the running Helper could not be stopped."
fi

for folder in "$tools" "$daemons" "$support"; do
    if ! { mkdir -p "$folder" && chown 0:0 "$folder" && chmod 0755 "$folder"; }; then
        fail "the folder $folder could not be prepared."
    fi
done

hashfile=$support/client-cdhash
# A prepared file becomes root's alone and is renamed into place.
put_in_place() { # prepared mode target
    chown 0:0 "$1" && chmod "$2" "$1" && mv -f "$1" "$3"
}
# After a failure nothing half-installed stays behind.
discard() {
    rm -f "$helper.new" "$plist.new" "$hashfile.new" "$helper" "$plist"
}

rm -f "$helper.new" "$plist.new" "$hashfile.new"
if ! { cp "$bundled_helper" "$helper.new" && put_in_place "$helper.new" 0755 "$helper"; }; then
    discard
    fail "the Helper could not be copied into place."
fi
if ! { printf '%s\n' "$cdhash" >"$hashfile.new" &&
    put_in_place "$hashfile.new" 0644 "$hashfile"; }; then
    discard
    fail "the application's code hash could not be recorded."
fi
if ! {
    printf '%s\n' \
        '<?xml version="1.0" encoding="UTF-8"?>' \
        '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">' \
        '<plist version="1.0">' \
        '<dict>' \
        '	<key>Label</key>' \
        "	<string>$label</string>" \
        '	<key>Program</key>' \
        "	<string>/Library/PrivilegedHelperTools/$label</string>" \
        '	<key>MachServices</key>' \
        '	<dict>' \
        "		<key>$label</key>" \
        '		<true/>' \
        '	</dict>' \
        '</dict>' \
        '</plist>' >"$plist.new" &&
        put_in_place "$plist.new" 0644 "$plist"
}; then
    discard
    fail "the daemon property list could not be written."
fi

if ! refusal=$("$launchctl" bootstrap system "$plist" </dev/null 2>&1); then
    discard
    fail "launchd did not load the Helper (${refusal#launchctl: })."
fi
printf '%s\n' "Ventrella Helper was installed."
