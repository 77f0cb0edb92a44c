# bash completion for battery-analyzer-cli: subcommands, their options (read from the
# tool's own --help, so they never go stale), and the values some options take.
_battery_analyzer_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} sub=${COMP_WORDS[1]}
    if [[ $COMP_CWORD -eq 1 ]]; then
        local subcommands="download clear-memory convert stats match ports record capacity cells cell
            pack export report labels help --help --version"
        COMPREPLY=($(compgen -W "$subcommands" -- "$cur"))
        return
    fi
    case $prev in
        -m|--model) COMPREPLY=($(compgen -W "RM-40A RM-40B RM-40C" -- "$cur")); return ;;
        -f|--format) COMPREPLY=($(compgen -W "text csv json" -- "$cur")); return ;;
        --prefer) COMPREPLY=($(compgen -W "low" -- "$cur")); return ;;
        --port) COMPREPLY=($(compgen -G "${cur:-/dev/}*" -- "$cur")); return ;;
        --com|--idle|--series|--parallel|--max-voltage-spread|--max-resistance) return ;;
        -o|--output) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    esac
    if [[ $sub == ports ]]; then
        [[ $COMP_CWORD -eq 2 ]] && COMPREPLY=($(compgen -W "assign" -- "$cur"))
        [[ $COMP_CWORD -eq 4 ]] && COMPREPLY=($(compgen -G "${cur:-/dev/}*" -- "$cur"))
        return
    fi
    if [[ $cur == -* ]]; then
        local options
        options=$("${COMP_WORDS[0]}" "$sub" --help 2>/dev/null | grep -oE -- '--[a-z][a-z-]*' | sort -u)
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _battery_analyzer_cli battery-analyzer-cli
