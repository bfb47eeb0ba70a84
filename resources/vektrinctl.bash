# bash completion of vektrinctl: sub-commands, their options, and task, resource and week-day
# names where a command takes one. Installed as share/bash-completion/completions/vektrinctl.

_vektrinctl_tasks() {
    # AppIDs and names from the tables vektrinctl would use (the same --aliases file).
    "${_vektrinctl_cmd[@]}" tasks --no-header 2>/dev/null | cut -f1,2 | tr '\t' '\n'
}

_vektrinctl_resources() {
    "${_vektrinctl_cmd[@]}" resource list 2>/dev/null | tail -n +2 | cut -f1,2 | tr '\t' '\n'
}

# Files through bash-completion where it is there, else plain names.
_vektrinctl_files() {
    if declare -F _filedir >/dev/null; then
        _filedir "$@"
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}

_vektrinctl() {
    # Without bash-completion's helpers: the words as bash split them.
    local cword=$COMP_CWORD
    local words=("${COMP_WORDS[@]}")
    local cur=${words[cword]} prev=${words[cword - 1]}

    local commands="init add set rm edit resource silence status run interrupt cancel-wait stop
        resume tasks next due timeline export import protocol output eval expand help"
    local globals="--aliases --at --trace"
    local kinds="--every-minute --hourly --daily --weekly --monthly --yearly --from --to"
    local taskopts="--command --dir $kinds --repeat --window --priority --if --until --interrupt
        --no-interrupt --wait-if-busy --no-wait-if-busy --catch-up --no-catch-up --conflicts --stopped"

    # The global options before the command, kept for the lookups of names.
    _vektrinctl_cmd=("${words[0]}")
    local i command="" sub="" first=0
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --aliases | --at)
                _vektrinctl_cmd+=("${words[i]}" "${words[i + 1]}")
                ((i++))
                ;;
            --aliases=* | --at=*) _vektrinctl_cmd+=("${words[i]}") ;;
            -*) ;;
            *)
                if [[ -z $command ]]; then
                    command=${words[i]}
                    first=$i
                elif [[ -z $sub && ($command == resource || $command == silence || $command == help) ]]; then
                    sub=${words[i]}
                fi
                ;;
        esac
    done

    case $prev in
        --aliases | --log | -o | --output | --dir)
            _vektrinctl_files
            return
            ;;
        --window)
            COMPREPLY=($(compgen -W "normal hidden minimized maximized" -- "$cur"))
            return
            ;;
        --priority)
            COMPREPLY=($(compgen -W "normal low high realtime" -- "$cur"))
            return
            ;;
        --weekly)
            COMPREPLY=($(compgen -W "monday tuesday wednesday thursday friday saturday sunday" -- "$cur"))
            return
            ;;
        --conflicts)
            local IFS=$'\n'
            COMPREPLY=($(compgen -W "$(_vektrinctl_resources)" -- "$cur"))
            return
            ;;
        --task)
            [[ $command == timeline || $command == protocol ]] || return
            local IFS=$'\n'
            COMPREPLY=($(compgen -W "$(_vektrinctl_tasks)" -- "$cur"))
            COMPREPLY=("${COMPREPLY[@]// /\\ }")
            return
            ;;
        --at | --from | --to | --repeat | --monthly | --command | --if | --until | --since | -n | --lines | --count | --max-wait | --number | --name | --run | --hours | --days)
            [[ $prev == -n && $command == next ]] && COMPREPLY=($(compgen -W "1 5 10 20 100" -- "$cur"))
            return
            ;;
    esac

    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands --aliases --at --trace --version --help" -- "$cur"))
        return
    fi

    local options="" takesTask=0
    case $command in
        init) options="--force --if-missing" ;;
        add) options="$taskopts" ;;
        set) options="--name $taskopts --no-stopped --quiet" takesTask=1 ;;
        rm) options="--quiet" takesTask=1 ;;
        run | interrupt | cancel-wait | stop | resume) takesTask=1 ;;
        next) options="--count --json $kinds --repeat" takesTask=1 ;;
        output) options="--run --list --json --follow" takesTask=1 ;;
        timeline) options="--from --to --hours --days --task --output --text" ;;
        edit) options="--no-retry" takesTask=1 ;;
        status) options="--json" ;;
        tasks) options="--json --no-header" ;;
        due) options="--json --missed --since" ;;
        export) options="--output" ;;
        import) options="--replace" ;;
        eval | expand) options="" ;;
        protocol) options="--log --since --until --task --follow --lines --json" ;;
        help) COMPREPLY=($(compgen -W "$commands" -- "$cur")) && return ;;
        resource)
            case $sub in
                "") COMPREPLY=($(compgen -W "list add set rm" -- "$cur")) && return ;;
                list) options="--json" ;;
                add) options="--max-wait --quiet" ;;
                set) options="--number --name --max-wait --quiet" ;;
                rm) options="--quiet" ;;
            esac
            if [[ $sub == set || $sub == rm ]] && [[ $cur != -* ]]; then
                local IFS=$'\n'
                COMPREPLY=($(compgen -W "$(_vektrinctl_resources)" -- "$cur"))
                return
            fi
            ;;
        silence)
            case $sub in
                "") COMPREPLY=($(compgen -W "list add set rm" -- "$cur")) && return ;;
                list) options="--json" ;;
                add | set) options="$kinds --quiet" ;;
                rm) options="--quiet" ;;
            esac
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options $globals --help" -- "$cur"))
    elif ((takesTask)) && ((cword == first + 1)); then
        local IFS=$'\n'
        COMPREPLY=($(compgen -W "$(_vektrinctl_tasks)" -- "$cur"))
        # Names with blanks stay one word.
        COMPREPLY=("${COMPREPLY[@]// /\\ }")
    elif [[ $command == import ]]; then
        _vektrinctl_files json
    fi
}
complete -F _vektrinctl vektrinctl
