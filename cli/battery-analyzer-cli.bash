# bash completion for battery-analyzer-cli: the tool itself says which words fit, from the
# same table its parser and help are made from, so the completion never goes stale.
_battery_analyzer_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} words
    words=$("${COMP_WORDS[0]}" --completion-words "${COMP_WORDS[@]:1:COMP_CWORD-1}" "$cur" 2>/dev/null)
    case $words in
        @file) COMPREPLY=($(compgen -f -- "$cur")) ;;
        @device) COMPREPLY=($(compgen -G "${cur:-/dev/}*" -- "$cur")) ;;
        *) COMPREPLY=($(compgen -W "$words" -- "$cur")) ;;
    esac
}
complete -o filenames -F _battery_analyzer_cli battery-analyzer-cli
