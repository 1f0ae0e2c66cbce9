# bash completion for kelvark-cli: commands, options, folders, and the project
# names of the folder already given where move and rename expect them.

# Sets $2 to the word $1 as the shell would pass it, without running anything
# in it: a leading ~ expanded, quotes and backslashes taken away.
_kelvark_cli_unquote()
{
    local word=$1 text='' quote='' c i
    [[ $word == '~' || $word == '~/'* ]] && word=$HOME${word:1}
    for ((i = 0; i < ${#word}; i++)); do
        c=${word:i:1}
        if [[ $c == "$quote" ]]; then
            quote=''
        elif [[ $quote == "'" ]]; then
            text+=$c
        elif [[ $c == '\' ]]; then
            ((++i))
            text+=${word:i:1}
        elif [[ -z $quote && ($c == "'" || $c == '"') ]]; then
            quote=$c
        else
            text+=$c
        fi
    done
    printf -v "$2" %s "$text"
}

# Adds the projects of the folder word $1 (its NAME.cue files) that start with
# the word being completed.
_kelvark_cli_projects()
{
    local folder typed file name
    _kelvark_cli_unquote "$1" folder
    _kelvark_cli_unquote "$cur" typed
    for file in "${folder:-.}"/*.cue; do
        [[ -f $file ]] || continue
        name=${file##*/}
        name=${name%.cue}
        [[ $name == "$typed"* ]] && COMPREPLY+=("$name")
    done
    # Lets readline quote the spaces and quotes that project names hold.
    compopt -o filenames
}

_kelvark_cli()
{
    local cur prev words cword
    _init_completion || return

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W 'list report sort unsort move rename recover checksum verify image drives burn restore catalogue where discs --help --version' -- "$cur"))
        return
    fi

    local command=${words[1]} options
    case $command in
    list) options='--all --medium --cd --dvd --no-mix --no-regular --threads --sets --tsv' ;;
    sort) options='--all --medium --cd --dvd --no-mix --no-regular --threads --skip-unsortable --yes --catalogue' ;;
    unsort) options='--all --medium --cd --dvd --yes' ;;
    report) options='--all --medium --cd --dvd --no-mix --no-regular --threads --yes' ;;
    move | rename) options='--all --medium --cd --dvd --no-mix --no-regular --threads' ;;
    recover) options='--finish --undo --forget --yes' ;;
    checksum) options='--replace --catalogue' ;;
    verify) options='--all --drive --catalogue' ;;
    image) options='--all --into --catalogue' ;;
    burn) options='--all --drive --yes --catalogue' ;;
    restore) options='--all --into --drive --catalogue' ;;
    catalogue) options='--add --drive --catalogue' ;;
    where | discs) options='--catalogue' ;;
    *) return ;;
    esac

    if [[ $prev == --medium ]]; then
        COMPREPLY=($(compgen -W 'cd cd80 dvd dvd-dl bd bd-dl bdxl' -- "$cur"))
        return
    fi
    if [[ $prev == --drive || $prev == --catalogue ]]; then
        _filedir
        return
    fi
    if [[ $prev == --threads ]]; then
        COMPREPLY=($(compgen -W '1 8 32 64' -- "$cur"))
        return
    fi
    if [[ $prev == --into ]]; then
        _filedir -d
        return
    fi

    # The operands before the word being completed; "--" ends the options,
    # and the word after --medium, --threads or --drive is its value.
    local operands=() namesOnly='' sources=0 i
    for ((i = 2; i < cword; i++)); do
        if [[ -z $namesOnly && (${words[i]} == --medium || ${words[i]} == --threads || ${words[i]} == --into
            || ${words[i]} == --drive || ${words[i]} == --catalogue) ]]; then
            ((i++))
        elif [[ -n $namesOnly || ${words[i]} != -* || ${words[i]} == - ]]; then
            operands+=("${words[i]}")
        elif [[ ${words[i]} == -- ]]; then
            namesOnly=1
            sources=${#operands[@]}
        fi
    done

    if [[ -z $namesOnly && $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options --" -- "$cur"))
        return
    fi

    local n=${#operands[@]}
    case $command in
    move)
        if ((n < 2)); then
            _filedir -d
        else
            _kelvark_cli_projects "${operands[0]}"
        fi
        ;;
    rename)
        if ((n == 0)); then
            _filedir -d
        elif ((n == 1)); then
            _kelvark_cli_projects "${operands[0]}"
        fi
        ;;
    restore)
        # After "--" come projects: those of the set folders given before it.
        if [[ -n $namesOnly ]]; then
            for ((i = 0; i < sources; i++)); do
                _kelvark_cli_projects "${operands[i]}"
            done
        else
            _filedir
        fi
        ;;
    verify | catalogue)
        _filedir
        ;;
    where | discs) ;;
    image | burn)
        if ((n == 0)); then
            _filedir -d
        else
            COMPREPLY=($(compgen -W "$(cd -- "${operands[0]}" 2>/dev/null && compgen -d -X '!*-[A-Z]*')" -- "$cur"))
        fi
        ;;
    *)
        ((n == 0)) && _filedir -d
        ;;
    esac
} &&
    complete -F _kelvark_cli kelvark-cli
