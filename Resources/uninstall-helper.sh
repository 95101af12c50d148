# Stops the privileged helper installed at /Library/PrivilegedHelperTools and removes it with
# its daemon property list. Run as root by zsh with administrator privileges; written for sh.
#
# Every path is under $VIRTUAL_MAC_ROOT when it is set (the simulated Mac's root).
# Exit status 0 when nothing of the helper is left there (also when there was nothing);
# otherwise 1 and one line saying why. Every program it starts ends before it does.

if [ -n "${ZSH_VERSION:-}" ]; then emulate sh; fi
set -u
PATH=/usr/bin:/bin:/usr/sbin:/sbin
export PATH

label=com.quillmoor.Ventrella.helper
root=${VIRTUAL_MAC_ROOT:-}
root=${root%/}
launchctl=$root/bin/launchctl
helper=$root/Library/PrivilegedHelperTools/$label
plist=$root/Library/LaunchDaemons/$label.plist

fail() {
    printf '%s\n' "Helper removal failed: $*" >&2
    exit 1
}

[ "$(id -u)" = 0 ] || fail "it must run as root."

# Only the daemon running from the legacy path is this script's to stop.
loaded=$("$launchctl" print "system/$label" </dev/null 2>/dev/null | sed -n 's/^	program = //p')
if [ "$loaded" = "$helper" ]; then
    "$launchctl" bootout "system/$label" </dev/null >/dev/null 2>&1 ||
        fail "the running Helper could not be stopped."
fi

rm -f "$helper" "$plist"
for file in "$helper" "$plist"; do
    if [ -e "$file" ] || [ -L "$file" ]; then
        fail "$file could not be removed."
    fi
done
printf '%s\n' "Ventrella Helper was removed; fan control is now managed by Apple Automatic."
