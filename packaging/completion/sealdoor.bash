# bash completion for sealdoor (the window)

_sealdoor() {
    local cur i files=0
    cur="${COMP_WORDS[COMP_CWORD]}"
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && files=1
    done
    if ((files == 0)) && [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--lock --unlock --unlock-and-open --add-to-thunar --help --version --" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -F _sealdoor sealdoor
