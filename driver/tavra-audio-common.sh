# Shared by tavra-audio-install and tavra-audio-uninstall (sourced, not run).
# shellcheck disable=SC2034 # the variables are used by the scripts that source this file
#
# The "Tavra Audio" virtual device is a null sink of the user's sound server
# (PulseAudio, or PipeWire through pipewire-pulse) named tavra_audio; its
# monitor source "Monitor of Tavra Audio" is what the recorder captures.

TAVRA_SINK=tavra_audio
TAVRA_MODULE=module-null-sink
# One argument string for the module, in the form both servers read: the
# description is quoted twice so that it keeps its space.
TAVRA_ARGS="sink_name=$TAVRA_SINK sink_properties='device.description=\"Tavra Audio\"'"

TAVRA_CONFIG_HOME=${XDG_CONFIG_HOME:-${HOME:?HOME is not set}/.config}
# PulseAudio: the user's start-up script, and the lines this tool adds to it.
TAVRA_PA_FILE=$TAVRA_CONFIG_HOME/pulse/default.pa
TAVRA_PA_CREATED='### tavra-audio-install: created this file'
TAVRA_PA_BEGIN='### tavra-audio-install: begin'
TAVRA_PA_END='### tavra-audio-install: end'
TAVRA_PA_SYSTEM_INCLUDE='.include /etc/pulse/default.pa'
# pipewire-pulse: a drop-in of its own.
TAVRA_PW_FILE=$TAVRA_CONFIG_HOME/pipewire/pipewire-pulse.conf.d/tavra-audio.conf

tavra_fail() {
    echo "$TAVRA_TOOL: $*" >&2
    exit 1
}

# Prints "pulseaudio" or "pipewire" for the running server; fails when no
# server answers.
tavra_server_kind() {
    info=$(LC_ALL=C pactl info 2>&1) || return 1
    name=$(printf '%s\n' "$info" | sed -n 's/^Server Name: *//p')
    case $name in
    *PipeWire*) echo pipewire ;;
    *) echo pulseaudio ;;
    esac
}

# Prints the indexes of loaded modules that made the tavra_audio sink.
tavra_module_indexes() {
    LC_ALL=C pactl list short modules |
        awk -F '\t' -v m="$TAVRA_MODULE" -v s="sink_name=$TAVRA_SINK" '
            $2 == m { n = split($3, a, /[ \t]+/); for (i = 1; i <= n; i++) if (a[i] == s) { print $1; break } }'
}

tavra_sink_loaded() {
    LC_ALL=C pactl list short sinks | awk -F '\t' -v s="$TAVRA_SINK" '$2 == s { found = 1 } END { exit !found }'
}

# Replaces $1 with standard input, through a temporary file beside it.
tavra_write_file() {
    dir=$(dirname "$1")
    mkdir -p "$dir" || return 1
    tmp=$(mktemp "$dir/.tavra-audio.XXXXXX") || return 1
    if cat >"$tmp" && chmod 644 "$tmp" && mv -f "$tmp" "$1"; then
        return 0
    fi
    rm -f "$tmp"
    return 1
}
