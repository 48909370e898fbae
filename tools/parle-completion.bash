# bash completion for parle: its commands, each command's options, the revision
# numbers, and file names for the images and the output.
_parle() {
  local cur prev command i
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}

  # The command is the first word after the program that is not an option.
  command=
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      -*) ;;
      *) command=${COMP_WORDS[i]}; break ;;
    esac
  done

  local options
  case $command in
    '')
      if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
      else
        COMPREPLY=($(compgen -W 'info fix dump' -- "$cur"))
      fi
      return
      ;;
    info) options='--json --help --version' ;;
    dump) options='--print-offset --sjis --help --version' ;;
    fix)
      options='--revision= --output= --dry-run --force --verbose --help --version'
      # bash splits "--output=x" at the '=' (COMP_WORDBREAKS): the option is then the
      # word before the '=', or the previous word while '=' itself is being completed.
      local option=$prev value=$cur
      if [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        option=${COMP_WORDS[COMP_CWORD - 2]}
      elif [[ $cur == = ]]; then
        value=
      elif [[ $cur == --*=* ]]; then
        # Not split: the whole word is replaced, so the option stays in front.
        option=${cur%%=*}
        value=${cur#*=}
      fi
      local prefix=
      [[ $cur == --*=* ]] && prefix=${cur%%=*}=
      case $option in
        -r | --revision)
          COMPREPLY=($(compgen -P "$prefix" -W '1 2 3' -- "$value"))
          return
          ;;
        -o | --output)
          compopt -o filenames 2>/dev/null
          COMPREPLY=($(compgen -P "$prefix" -f -- "$value"))
          return
          ;;
      esac
      ;;
    *) return ;;
  esac

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    # An option that takes its value after '=' gets no space behind it.
    [[ ${#COMPREPLY[@]} == 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
  else
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -F _parle parle
