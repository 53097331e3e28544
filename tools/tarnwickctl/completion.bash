# SPDX-License-Identifier: Apache-2.0
# bash completion for tarnwickctl: commands, their options, section names and the schema's
# key names. Installed as share/bash-completion/completions/tarnwickctl, where bash-completion
# loads it on the first completion of the command; or source it.

# The schema: each section and its keys, in file order.
_tarnwickctl_schema=(
    "Agent ServerMachine HostSymbol TimeOut ChannelType ServerUsername ServerPassword ServerDomain"
    "Http_Proxy Proxy ProxyName ProxyPort ProxyUsername ProxyPassword ProxyDomain"
    "Security SSL ServerAuthentication ClientCertificate PrivateKeyPassword ClientAuthentication CertificateFileName PrivateKeyFileName"
    "Fitful FitfulConnection FitfulType FitfulThreshold FitfulTimeout FitfulDisconnectTimeout"
    "WebHttp HttpAcceptorName HttpPort HttpsPort HttpNDPort HttpDummyPort"
)
# The section of the scramble markers (KEYEncrypted).
_tarnwickctl_marker_section=Encription

_tarnwickctl_sections() {
    local entry
    for entry in "${_tarnwickctl_schema[@]}"; do printf '%s\n' "${entry%% *}"; done
}

# Keys of section $1; with no section, every key of the schema.
_tarnwickctl_keys() {
    local entry key
    if [[ $1 == "$_tarnwickctl_marker_section" ]]; then
        for key in $(_tarnwickctl_keys); do printf '%sEncrypted\n' "$key"; done
        return
    fi
    for entry in "${_tarnwickctl_schema[@]}"; do
        if [[ -z $1 || ${entry%% *} == "$1" ]]; then
            for key in ${entry#* }; do printf '%s\n' "$key"; done
        fi
    done
}

_tarnwickctl_options() {
    case $1 in
        show | get) echo "--file --reveal --json --help" ;;
        apply) echo "--file --check --diff --json --allow-new --help" ;;
        set) echo "--file --scramble --json --allow-new --help" ;;
        unset) echo "--file --json --help" ;;
        edit) echo "--file --help" ;;
        check) echo "--file --quiet --help" ;;
        path) echo "--help" ;;
        *) echo "--help --version" ;;
    esac
}

_tarnwickctl() {
    local cur prev words cword split
    if declare -F _init_completion >/dev/null; then
        # -s: "--file=PATH" is one word, and its PATH is what is completed.
        _init_completion -s || return
    else
        # bash alone splits "--file=PATH" into three words: --file, = and PATH.
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
        if [[ $cur == = && $prev == --file ]]; then
            cur=""
        elif [[ $prev == = && $COMP_CWORD -ge 2 && ${COMP_WORDS[COMP_CWORD - 2]} == --file ]]; then
            prev=--file
        fi
    fi

    if [[ $prev == --file ]]; then
        if declare -F _filedir >/dev/null; then _filedir; else COMPREPLY=($(compgen -f -- "$cur")); fi
        return
    fi

    # The command, and the positional arguments before the word being completed.
    local command="" i word literal=0
    local -a args=()
    for ((i = 1; i < cword; i++)); do
        word=${words[i]}
        if [[ $literal == 0 && $word == --file ]]; then
            ((i++))
            [[ ${words[i]} == = ]] && ((i++))
        elif [[ $literal == 0 && $word == -- ]]; then
            literal=1
        elif [[ $literal == 0 && $word == -* ]]; then
            :
        elif [[ -z $command ]]; then
            command=$word
        else
            args+=("$word")
        fi
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$(_tarnwickctl_options)" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "path show get set unset check edit apply" -- "$cur"))
        fi
        return
    fi
    if [[ $literal == 0 && $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_tarnwickctl_options "$command")" -- "$cur"))
        return
    fi

    local words_list=""
    case $command in
        get)
            # get NAME, or get SECTION KEY.
            if [[ ${#args[@]} == 0 ]]; then
                words_list="$(_tarnwickctl_sections) $(_tarnwickctl_keys)"
            elif [[ ${#args[@]} == 1 ]]; then
                words_list=$(_tarnwickctl_keys "${args[0]}")
                [[ -n $words_list ]] || return
            fi
            ;;
        apply)
            # STATE: a file, or - for standard input.
            if [[ ${#args[@]} == 0 ]]; then
                if declare -F _filedir >/dev/null; then _filedir; else COMPREPLY=($(compgen -f -- "$cur")); fi
                [[ $cur == "" || $cur == - ]] && COMPREPLY+=(-)
            fi
            return
            ;;
        set | unset)
            if [[ ${#args[@]} == 0 ]]; then
                words_list=$(_tarnwickctl_sections)
                [[ $command == unset ]] && words_list+=" $_tarnwickctl_marker_section"
            elif [[ ${#args[@]} == 1 ]]; then
                words_list=$(_tarnwickctl_keys "${args[0]}")
            fi
            ;;
    esac
    COMPREPLY=($(compgen -W "$words_list" -- "$cur"))
}

complete -F _tarnwickctl tarnwickctl tarnwickctl.exe
