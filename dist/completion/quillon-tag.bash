# bash completion for quillon-tag: options, the fields of each tag, and files.

_quillon_tag() {
    local cur prev words cword
    _init_completion -n = || return

    local i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} == -- ]]; then
            _filedir
            return
        fi
    done

    local v1_fields="title artist album year track genre comment"
    local v2_fields="$v1_fields albumartist disc composer encoder copyright language url"
    case $prev in
        --v1 | --v2)
            local fields=$v1_fields
            [[ $prev == --v2 ]] && fields=$v2_fields
            if [[ $cur == *=* ]]; then
                # TEXT is free; nothing to offer.
                return
            fi
            COMPREPLY=($(compgen -S = -W "$fields" -- "$cur"))
            compopt -o nospace
            return
            ;;
        --picture)
            # PICTURE[:TYPE[:DESCRIPTION]]: a file, then a type after its colon.
            if [[ $cur == *:* ]]; then
                local types="other icon other-icon front back leaflet media lead-artist artist"
                types+=" conductor band composer lyricist recording-location during-recording"
                types+=" during-performance screen-capture fish illustration band-logo publisher-logo"
                COMPREPLY=($(compgen -P "${cur%%:*}:" -W "$types" -- "${cur#*:}"))
                return
            fi
            _filedir '@(jpg|jpeg|JPG|JPEG|png|PNG)'
            return
            ;;
        --lyrics)
            _filedir
            return
            ;;
        --extract-pictures)
            _filedir -d
            return
            ;;
        --to)
            COMPREPLY=($(compgen -W "v1 v2 v1,v2" -- "$cur"))
            return
            ;;
        --from-name | --rename)
            # A PATTERN of placeholders.
            local placeholders="%title% %artist% %album% %year% %track% %genre% %comment%"
            placeholders+=" %composer% %copyright% %encoder% %language% %url% %dummy%"
            COMPREPLY=($(compgen -W "$placeholders" -- "$cur"))
            return
            ;;
        --help | -h | --version)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        local options="--v1 --v2 --remove-v1 --remove-v2 --picture --remove-pictures"
        options+=" --extract-pictures --lyrics --to-v23 --to-v24 --allow-losses"
        options+=" --from-name --rename --number --total --to --dry-run -r --recursive"
        options+=" --help --version --"
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    _filedir
} &&
    complete -F _quillon_tag quillon-tag
