#!/usr/bin/env bash
# The shipped JSON schema must describe what the profile tool writes and reads: the example and
# its export through a profile file are both valid, and a refused value is refused by both.
# Usage: schema_test.sh <corvane-profile> <source folder>
set -euo pipefail
tool="$1"
source_dir="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$tool" import "$source_dir/data/corvane-profile.example.json" "$work/example.dat" >/dev/null
"$tool" export "$work/example.dat" >"$work/exported.json"
printf '{"ProxyServers": [{"ServerName": "a", "SendDelayTime": 10001}]}' >"$work/refused.json"
if "$tool" import "$work/refused.json" "$work/refused.dat" 2>/dev/null; then
  echo "the tool took a SendDelayTime above 10000" >&2
  exit 1
fi

/usr/bin/python3 - "$source_dir/data/corvane-profile.schema.json" "$work" "$source_dir" <<'PY'
import json, sys
import jsonschema

schema_path, work, source = sys.argv[1:4]
with open(schema_path) as f:
    schema = json.load(f)
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
failed = False
for path, valid in ((source + "/data/corvane-profile.example.json", True),
                    (work + "/exported.json", True), (work + "/refused.json", False)):
    with open(path) as f:
        errors = list(validator.iter_errors(json.load(f)))
    if bool(errors) == valid:
        failed = True
        print(path, "valid" if valid else "invalid", "expected:",
              [e.message for e in errors] or "no error", file=sys.stderr)
sys.exit(1 if failed else 0)
PY
