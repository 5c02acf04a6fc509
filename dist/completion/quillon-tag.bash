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
    local v2_fields="$v1_fields composer encoder copyright language url"
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
        local options="--v1 --v2 --remove-v1 --remove-v2 --from-name --rename --number --total"
        options+=" --to --dry-run -r --recursive --help --version --"
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    _filedir
} &&
    complete -F _quillon_tag quillon-tag
