# Completion of morvane-cli: its commands, their switches, and the names of the user's jobs.

_morvane_cli_jobs() {
    morvane-cli list 2>/dev/null | cut -f1
}

_morvane_cli() {
    local cur prev command
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="list show new backup points restore log history import remove rename duplicate schedule run-scheduler --help --version"
    if [ "$COMP_CWORD" -eq 1 ]; then
        mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
        return
    fi
    command=${COMP_WORDS[1]}
    case $prev in
        --source|--to|--dest)
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return ;;
        --type)
            mapfile -t COMPREPLY < <(compgen -W "mirror full incremental" -- "$cur")
            return ;;
        --weekdays)
            mapfile -t COMPREPLY < <(compgen -W "all mon tue wed thu fri sat sun" -- "$cur")
            return ;;
        --full-every|--keep|--include|--exclude|--user|--point|--at|--month-days)
            return ;;
    esac
    local switches=""
    case $command in
        show) switches="--json" ;;
        new) switches="--source --dest --type --full-every --keep --prune-before --include --exclude --user --password-stdin" ;;
        restore) switches="--to --point --latest" ;;
        import) switches="--user --password-stdin" ;;
        remove) switches="--with-backups" ;;
        schedule) switches="--weekdays --month-days --at --off --catch-up --shutdown" ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$switches" -- "$cur")
        return
    fi
    case $command in
        import)
            mapfile -t COMPREPLY < <(compgen -f -X '!*.bmj' -- "$cur"; compgen -d -- "$cur") ;;
        show|backup|points|restore|log|history|remove|rename|duplicate|schedule)
            [ "$COMP_CWORD" -eq 2 ] || return
            local IFS=$'\n'
            mapfile -t COMPREPLY < <(compgen -W "$(_morvane_cli_jobs)" -- "$cur") ;;
    esac
}

complete -F _morvane_cli morvane-cli
