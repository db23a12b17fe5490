# Bash completion for vexlo-cli: its options, files for FILE, folders once
# -r is given, nothing for a number. Installed as
# share/bash-completion/completions/vexlo-cli, where bash-completion finds
# it; works as well when sourced by hand.

_vexlo_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local options='--check --open --json -r --recursive --max-size -q --quiet --recover --width -h --help --version --'
    # A number follows (also as --max-size=N, which bash splits at the "=").
    case $prev in
        --max-size | --width) return ;;
        =) [[ ${COMP_WORDS[COMP_CWORD - 2]} == --max-size || ${COMP_WORDS[COMP_CWORD - 2]} == --width ]] && return ;;
    esac
    local i folders= ended=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --) ended=1 ;;
            -r | --recursive) [[ -z $ended ]] && folders=1 ;;
        esac
    done
    if [[ -z $ended && $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    if [[ -n $folders ]]; then
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
    else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}
complete -F _vexlo_cli vexlo-cli
