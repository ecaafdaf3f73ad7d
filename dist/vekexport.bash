# bash completion of vekexport: its options, the option names --set takes, and file
# names (Vek files after --check and --render, pictures after --preview, directories
# where a directory is asked for). Needs nothing of the bash-completion package.
# Only options that take a file or a word of their own are named here.

# The options and the option names of --set are read from the --help of the vekexport
# being completed, once a shell, so that the completion never lags behind the program.
_vekexport_options=
_vekexport_settings=
_vekexport_read_help()
{
    [[ -n $_vekexport_options ]] && return
    local exe="$1" help
    [[ $exe == "~/"* ]] && exe="$HOME/${exe#\~/}"
    help=$("$exe" --help 2>/dev/null) || return
    _vekexport_options=$(grep -oE '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,' | sort -u | tr '\n' ' ')
    _vekexport_settings=$(sed -n '/^Options of --set/,/^$/p' <<<"$help" | awk 'NR > 1 && NF { print $1 }' | tr '\n' ' ')
}

# Files whose name ends with one of the extensions (any case), and directories.
_vekexport_files()
{
    local IFS=$'\n' pattern="$1"
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$cur"))
    COMPREPLY+=($(shopt -s nocasematch; compgen -f -- "$cur" | while read -r f; do
        [[ ! -d $f && $f =~ $pattern ]] && printf '%s\n' "$f"
    done))
}

_vekexport()
{
    local cur="${COMP_WORDS[COMP_CWORD]}" prev="${COMP_WORDS[COMP_CWORD - 1]}"
    COMPREPLY=()
    _vekexport_read_help "${COMP_WORDS[0]}"
    # After --render FILE.vek comes the picture.
    if ((COMP_CWORD >= 2)) && [[ ${COMP_WORDS[COMP_CWORD - 2]} == --render ]]; then
        _vekexport_files '\.png$'
        return
    fi
    case "$prev" in
    --set)
        compopt -o nospace 2>/dev/null
        COMPREPLY=($(compgen -S = -W "$_vekexport_settings" -- "$cur"))
        return
        ;;
    --up)
        COMPREPLY=($(compgen -W 'auto y z' -- "$cur"))
        return
        ;;
    --config-dir | --output-dir | --texture-root | --recover)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -- "$cur"))
        return
        ;;
    --check | --render)
        _vekexport_files '\.vek$'
        return
        ;;
    --preview)
        _vekexport_files '\.png$'
        return
        ;;
    --report)
        _vekexport_files '\.json$'
        return
        ;;
    --module)
        _vekexport_files '\.dle$'
        return
        ;;
    --size | --camera | --max-memory | --import-timeout | --jobs | -j | =)
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$_vekexport_options" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    COMPREPLY=($(compgen -f -- "$cur"))
}

complete -F _vekexport vekexport
