# bash completion for morsetool
_morsetool()
{
    local cur prev words cword
    _init_completion || return
    local commands="decode encode alphabets markers translate codec codecs modules map synth help"
    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    local command=${words[1]}
    case $prev in
        --alphabets|--save|--output-dir|--codecs|--maps)
            _filedir -d; return ;;
        -o|--output)
            _filedir; return ;;
        --format)
            COMPREPLY=($(compgen -W "text jsonl" -- "$cur")); return ;;
        --sample-format)
            COMPREPLY=($(compgen -W "s16 f32" -- "$cur")); return ;;
        --alphabet|--retranslate)
            local dir=/usr/share/morsehandler/alphabets
            COMPREPLY=($(compgen -W "$(ls "$dir" 2>/dev/null | sed -n 's/\.mal$//p')" -- "$cur"))
            return ;;
    esac
    if [[ $command == help ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi
    if [[ $cur == -* ]]; then
        local options
        options=$(morsetool "$command" --help 2>/dev/null | grep -o -- '--[a-z-]*' | sort -u)
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    _filedir
}
complete -F _morsetool morsetool
