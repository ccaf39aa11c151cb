# bash completion for inkdot and respack.
#
# Subcommands and options come from the lists below; the values of the
# pack's settings (--media, --intent, --colour-mode, --variant, --quality)
# from the command's own help, which lists what the pack it finds offers.

_inkdot_pack_values() {
    # $1: the command, $2: the option; prints the names the pack offers.
    "$1" print --help 2>/dev/null |
        sed -n "s/^ *$2 [^ ]* .*the pack offers \([^;]*\);.*/\1/p" |
        sed 's/, / /g; s/ or / /'
}

# Files (or with -d directories), with or without the bash-completion package.
_inkdot_files() {
    if declare -F _filedir >/dev/null; then
        _filedir "$@"
    else
        COMPREPLY=($(compgen $([[ $1 == -d ]] && echo -d || echo -f) -- "$cur"))
    fi
}

_inkdot() {
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion || return
    else
        # Without the bash-completion package: the words as bash gives them.
        words=("${COMP_WORDS[@]}") cword=$COMP_CWORD
        cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    fi
    local cmd=${words[0]} sub=""
    local i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            -*) ;;
            *) sub=${words[i]}; break ;;
        esac
    done

    case $prev in
        -o|--output|--pack|--input-profile|--summary)
            [[ $prev == --pack ]] && _inkdot_files -d || _inkdot_files
            return ;;
        --media|--intent|--colour-mode|--variant|--quality)
            COMPREPLY=($(compgen -W "$(_inkdot_pack_values "$cmd" "$prev")" -- "$cur"))
            return ;;
        --method) COMPREPLY=($(compgen -W "diffusion ordered bayer" -- "$cur")); return ;;
        --inks) COMPREPLY=($(compgen -W "auto six black" -- "$cur")); return ;;
        --dots) COMPREPLY=($(compgen -W "1 2" -- "$cur")); return ;;
        --rotate) COMPREPLY=($(compgen -W "auto yes no" -- "$cur")); return ;;
        --planes) COMPREPLY=($(compgen -W "tiff pnm raw" -- "$cur")); return ;;
        --page) COMPREPLY=($(compgen -W "A3 A4 A5 A6 Letter Legal" -- "$cur")); return ;;
        --resolution) COMPREPLY=($(compgen -W "2880x720 1440x720 720x720 720x360 360x720" -- "$cur")); return ;;
    esac

    local selection="--pack --media --quality --resolution --dots --variant --colour-mode --intent"
    local opts
    if [[ ${words[0]##*/} == respack ]]; then
        case $sub in
            "") opts="default list select table3d table4d matrix levels records numbers curves --help --version" ;;
            default) opts="--measurements --hand-set --help" ;;
            select) opts="--media --quality --dots --inks --variant --mode --help" ;;
            *) opts="-o --output --help" ;;
        esac
        [[ -z $sub || $cur == -* ]] || { _inkdot_files -d; return; }
    else
        case $sub in
            "") opts="print info table chart target colour-report --help --version" ;;
            print) opts="-o --output $selection --method --inks --brightness --contrast --saturation --gamma --page
                         --margin --rotate --preview-width --crop-at --input-profile --size --dpi --scale --planes
                         -q --quiet --help" ;;
            table) opts="-o --output --raw $selection --inks --records --help" ;;
            chart) opts="-o --output --width --height --help" ;;
            target) opts="-o --output $selection --cmy-levels --k-levels --patch-mm --page --margin --method --help" ;;
            colour-report) opts="-o --output $selection --method --all-media --summary --help" ;;
            info) opts="--help" ;;
        esac
        if [[ -n $sub && $cur != -* ]]; then
            _inkdot_files
            return
        fi
    fi
    COMPREPLY=($(compgen -W "$opts" -- "$cur"))
}
complete -F _inkdot inkdot respack
