#!/usr/bin/env bash
# Each source folder may include only folders at its own level or below:
#   text, platform -> engine -> retrieval -> netsvc -> classify -> ui -> app
set -u
src=${1:?usage: check_layers.sh SRC_DIR}
rank() {
  case $1 in
    text|platform) echo 0 ;; engine) echo 1 ;; retrieval) echo 2 ;; netsvc) echo 3 ;;
    classify) echo 4 ;; ui) echo 5 ;; app) echo 6 ;; *) echo -1 ;;
  esac
}
bad=0
while IFS= read -r file; do
  from=${file#"$src"/}; from=${from%%/*}
  from_rank=$(rank "$from")
  while IFS= read -r target; do
    to_rank=$(rank "$target")
    [ "$to_rank" -lt 0 ] && continue
    if [ "$to_rank" -gt "$from_rank" ]; then
      echo "layer violation: $file includes $target/"
      bad=1
    fi
  done < <(grep -oE '^#include "[a-z]+/' "$file" | sed -E 's/#include "([a-z]+)\//\1/')
done < <(find "$src" -name '*.h' -o -name '*.cpp')
[ $bad -eq 0 ] && echo "layer includes: ok"
exit $bad
