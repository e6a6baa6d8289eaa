# bash completion for the Kavrel tools: kavrel-query (options, formats, and class names the
# WMI service declares), kavrel-reg (commands, root keys, switches), kavrel-log (options),
# kavrel-script (files).

_kavrel_query() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        --format)
            COMPREPLY=($(compgen -W "table csv json xml" -- "$cur"))
            return ;;
        --describe)
            local classes
            classes=$(kavrel-query --classes --format csv 2>/dev/null | tail -n +2 | tr -d '\r')
            COMPREPLY=($(compgen -W "$classes" -- "$cur"))
            return ;;
        --namespace|--classes)
            COMPREPLY=($(compgen -W 'root\\cimv2 root\\default' -- "$cur"))
            return ;;
        --wql)
            return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--in-process --log --where --wql --classes --describe
            --namespace --format --help --version" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -X '!*.xml' -- "$cur") $(compgen -d -- "$cur"))
    fi
}

_kavrel_reg() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "query add delete export import register unregister declarations
            reset-store --where --help" -- "$cur"))
    elif [[ $cur == /* && ${COMP_WORDS[1]} != import ]]; then
        COMPREPLY=($(compgen -W "/v /ve /va /t /d /f" -- "$cur"))
    elif ((COMP_CWORD == 2)) && [[ ${COMP_WORDS[1]} != import ]]; then
        COMPREPLY=($(compgen -W "HKLM HKCU HKCR HKU" -- "$cur"))
    elif [[ ${COMP_WORDS[COMP_CWORD-1]} == /t ]]; then
        COMPREPLY=($(compgen -W "REG_SZ REG_EXPAND_SZ REG_MULTI_SZ REG_DWORD REG_QWORD
            REG_BINARY REG_NONE" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}

_kavrel_log() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    case ${COMP_WORDS[COMP_CWORD-1]} in
        --file)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        --severity)
            COMPREPLY=($(compgen -W "error warning info trace verbose debug" -- "$cur"))
            return ;;
    esac
    COMPREPLY=($(compgen -W "--file --severity --source --process --since --follow --where
        --help" -- "$cur"))
}

complete -F _kavrel_query kavrel-query
complete -F _kavrel_reg kavrel-reg
complete -F _kavrel_log kavrel-log
complete -f kavrel-script
