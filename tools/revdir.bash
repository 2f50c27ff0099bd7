# bash completion for revdir: its commands, each command's options, the
# values of the options that take one of a few, and the registry verbs with
# their switches.

_revdir_options() {
  case $1 in
    list) echo "--installed --software --latest --format --property --lang" ;;
    latest) echo "--format --property --lang" ;;
    find)
      echo "--major-rev --software --major-software --database --controller --route --project --recursive" \
        "--installed --latest --format --property --lang"
      ;;
    scan) echo "--backplane --timeout --rate --broadcast --driver --max --format --property --lang" ;;
    types) echo "--release --supported --from-rev-10 --format --property" ;;
    progid) echo "--services --language --release --format" ;;
    launch) echo "--release --wait" ;;
    error) echo "--lang --format" ;;
    alias) echo "--format" ;;
    register | unregister) echo "--user" ;;
  esac
}

_revdir_members() {
  case $1 in
    types) echo "id name productType productCode majorRev minorRev description" ;;
    find)
      echo "release majorRev database installed installedPath file vendor deviceType productCode" \
        "serialNumber revision productName"
      ;;
    scan)
      echo "address slot vendor deviceType productCode revision serialNumber productName catalogName release" \
        "installed installedPath"
      ;;
    *) echo "release majorRev database installed installedPath" ;;
  esac
}

_revdir_reg_switches() {
  case $1 in
    query) echo "/v /ve /s" ;;
    add) echo "/v /ve /t /s /d /f" ;;
    delete) echo "/v /ve /va /f" ;;
    export) echo "/y" ;;
  esac
}

_revdir_reg() {
  local cur=$1 prev=$2
  if ((COMP_CWORD == 2)); then
    mapfile -t COMPREPLY < <(compgen -W "query add delete import export" -- "$cur")
    return
  fi
  local verb=${COMP_WORDS[2]}
  if [[ $prev == /t && $verb == add ]]; then
    mapfile -t COMPREPLY < <(compgen -W "REG_SZ REG_EXPAND_SZ REG_MULTI_SZ REG_DWORD REG_QWORD REG_BINARY REG_NONE" \
      -- "$cur")
  elif [[ $cur == /* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$(_revdir_reg_switches "$verb")" -- "$cur")
  elif [[ ($verb == import && $COMP_CWORD == 3) || ($verb == export && $COMP_CWORD == 4) ]]; then
    # The file: import's only argument, export's second.
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}

_revdir() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()
  if ((COMP_CWORD == 1)); then
    local commands="list latest find scan types progid launch error register unregister version alias reg"
    mapfile -t COMPREPLY < <(compgen -W "$commands --help --version" -- "$cur")
    return
  fi
  local command=${COMP_WORDS[1]}
  if [[ $command == reg ]]; then
    _revdir_reg "$cur" "$prev"
    return
  fi
  # After "launch --", the arguments are the release's own.
  local i
  for ((i = 2; i < COMP_CWORD; i++)); do
    [[ $command == launch && ${COMP_WORDS[i]} == -- ]] && return
  done
  local values=
  case $prev in
    --format) values="table json" ;;
    --lang | --language) values="en de fr it es pt zh ja ko" ;;
    --property) values=$(_revdir_members "$command") ;;
    --major-rev | --software | --major-software | --database | --controller | --route | --release | --wait) return ;;
    --timeout | --rate | --max | --driver) return ;;
    --broadcast)
      # The interfaces of this machine.
      values=$(ls /sys/class/net 2>/dev/null)
      ;;
  esac
  if [[ -n $values ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$values" -- "$cur")
    return
  fi
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$(_revdir_options "$command") --help" -- "$cur")
  elif [[ $command == alias ]] && ((COMP_CWORD == 2)); then
    mapfile -t COMPREPLY < <(compgen -W "list clear" -- "$cur")
  elif [[ $command == find ]] && [[ " ${COMP_WORDS[*]:2:COMP_CWORD-2} " == *" --project "* ]]; then
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}

complete -F _revdir revdir
