# bash completion for sealdoor-cli

_sealdoor_cli() {
    local cur command="" files=0 i
    cur="${COMP_WORDS[COMP_CWORD]}"
    # What the words before this one are: the command, and whether a FILE
    # (or "--") has come, after which everything is a file.
    for ((i = 1; i < COMP_CWORD; i++)); do
        case "${COMP_WORDS[i]}" in
            --) [[ -n $command ]] && files=1 ;;
            -*) ;;
            *) if [[ -z $command ]]; then command="${COMP_WORDS[i]}"; else files=1; fi ;;
        esac
    done
    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "lock unlock status edit --help --version" -- "$cur"))
        return
    fi
    if ((files == 0)) && [[ $cur == -* ]]; then
        case "$command" in
            status) COMPREPLY=($(compgen -W "--quiet --recursive --" -- "$cur")) ;;
            edit) COMPREPLY=($(compgen -W "--password-stdin --quiet --" -- "$cur")) ;;
            *) COMPREPLY=($(compgen -W "--password-stdin --quiet --recursive --yes --" -- "$cur")) ;;
        esac
        return
    fi
    # edit takes one FILE.
    [[ $command == edit ]] && ((files == 1)) && return
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -F _sealdoor_cli sealdoor-cli
