#!/bin/sh
# The module must make exactly the two entry points visible to a host.
set -eu
module="$1"
symbols=$(nm -D --defined-only "$module" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$symbols" != "VSTPluginMain main " ]; then
    echo "unexpected exported symbols: $symbols" >&2
    exit 1
fi
