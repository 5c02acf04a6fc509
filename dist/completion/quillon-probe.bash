# bash completion for quillon-probe: options and files.

_quillon_probe() {
    local cur prev words cword
    _init_completion || return

    local i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --)
                _filedir
                return
                ;;
            --help | -h | --version)
                return
                ;;
        esac
    done

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--json --help --version --" -- "$cur"))
        return
    fi
    _filedir
} &&
    complete -F _quillon_probe quillon-probe
