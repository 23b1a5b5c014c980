# Sourced by the install tests: checks the actions on a folder that file managers offer, as installed
# under a data folder, and that the launcher claims no kind of file. The caller defines fail().

# The value of KEY in GROUP of the key file FILE (the first, as the file managers read it).
tallyfox_key() {
    local file=$1 group=$2 key=$3
    awk -v group="[$group]" -v key="$key" '
        /^\[/ { inside = ($0 == group); next }
        inside && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }
    ' "$file"
}

# Usage: tallyfox_check_folder_actions SHARE_FOLDER
tallyfox_check_folder_actions() {
    local share=$1
    local launcher="$share/applications/tallyfox.desktop"
    local menu="$share/kio/servicemenus/tallyfox.desktop"
    local action="$share/nemo/actions/tallyfox.nemo_action"

    # A renamer never becomes the program that opens folders: the launcher claims no kind of file.
    [ -z "$(tallyfox_key "$launcher" 'Desktop Entry' MimeType)" ] ||
        fail "the launcher claims files: MimeType=$(tallyfox_key "$launcher" 'Desktop Entry' MimeType)"

    # Dolphin's service menu: a service on folders in the context menu, executable, whose action
    # starts the program with the folder.
    if [ -f "$menu" ]; then
        [ -x "$menu" ] || fail "$menu is not executable, and Dolphin would not offer it"
        [ "$(tallyfox_key "$menu" 'Desktop Entry' Type)" = Service ] || fail "$menu is no service"
        [ "$(tallyfox_key "$menu" 'Desktop Entry' MimeType)" = 'inode/directory;' ] ||
            fail "$menu is not for folders: MimeType=$(tallyfox_key "$menu" 'Desktop Entry' MimeType)"
        [ "$(tallyfox_key "$menu" 'Desktop Entry' X-KDE-ServiceTypes)" = KonqPopupMenu/Plugin ] ||
            fail "$menu is no context menu plugin"
        local actions name
        actions=$(tallyfox_key "$menu" 'Desktop Entry' Actions)
        [ -n "$actions" ] || fail "$menu names no action"
        for name in ${actions//;/ }; do
            [ "$(tallyfox_key "$menu" "Desktop Action $name" Exec)" = 'tallyfox %f' ] ||
                fail "the action $name of $menu does not start tallyfox with the folder"
            [ -n "$(tallyfox_key "$menu" "Desktop Action $name" Name)" ] || fail "the action $name of $menu has no name"
            [ -n "$(tallyfox_key "$menu" "Desktop Action $name" 'Name[ja]')" ] ||
                fail "the action $name of $menu has no Japanese name"
        done
    else
        fail "no Dolphin service menu at $menu"
    fi

    # Nemo's action: on one selected folder, starting the program with its path.
    if [ -f "$action" ]; then
        local expected
        for expected in 'Exec=tallyfox %F' 'Selection=s' 'Extensions=dir;' 'Quote=double'; do
            [ "$(tallyfox_key "$action" 'Nemo Action' "${expected%%=*}")" = "${expected#*=}" ] ||
                fail "$action lacks $expected"
        done
        [ -n "$(tallyfox_key "$action" 'Nemo Action' Name)" ] || fail "$action has no name"
        [ -n "$(tallyfox_key "$action" 'Nemo Action' 'Name[ja]')" ] || fail "$action has no Japanese name"
    else
        fail "no Nemo action at $action"
    fi
}
