# Sourced by every script that runs Wine programs of this build: the sound
# output they see. By default ALSA's null device (null-output.conf); with
# KOVA_SOUND_OUTPUT=none a computer without any sound output. ALSA reads
# only the file named here, never the user's or the system's set-up, and
# Wine's PulseAudio and OSS drivers are switched off, so a sound server or
# sound card of the host is never used.
kova_sound_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
case "${KOVA_SOUND_OUTPUT:-null}" in
    none) export ALSA_CONFIG_PATH="$kova_sound_dir/no-output.conf" ;;
    *) export ALSA_CONFIG_PATH="$kova_sound_dir/null-output.conf" ;;
esac
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winepulse.drv,wineoss.drv="
unset kova_sound_dir
