# bash completion for flingpost: its commands, each command's options, the
# thumbnail sizes, and file names where files go.
_flingpost() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  local common="--data-dir --service --cacert --proxy --noproxy --json -q --quiet -h --help --version"
  local command="" files_only="" i
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      --) files_only=1 ;;
      login | albums | logout | upload) [ -z "$command" ] && command=${COMP_WORDS[i]} ;;
    esac
  done
  COMPREPLY=()
  if [ -z "$files_only" ]; then
    case $prev in
      --thumb) COMPREPLY=($(compgen -W "100 200 300 400" -- "$cur")); return ;;
      --files-from | --cacert) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- "$cur")); return ;;
      --data-dir) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- "$cur")); return ;;
      --service | --proxy | --user | --album | --timeout) return ;;
    esac
  fi
  local words
  case $command in
    "") words="login albums logout upload $common" ;;
    login) words="--user --password-stdin --remember $common" ;;
    albums) words="$common" ;;
    logout) words="${common/ --json/}" ;;
    upload) words="--album --user --password-stdin --remember --thumb -y --yes --timeout --files-from -v --verbose -- $common" ;;
  esac
  if [ "$command" = upload ] && { [ -n "$files_only" ] || [[ $cur != -* ]]; }; then
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
  else
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
  fi
}
complete -F _flingpost flingpost
