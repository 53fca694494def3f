#!/usr/bin/env bash
# ravlo-link dans une vraie zone de notification : Xvfb + trayer. L'icône s'y ancre, le clic
# gauche montre le panneau, le clic droit ouvre son menu, « Quitter Ravlo Link » (dernière
# entrée) termine le programme.
# Usage : zone_notification_test.sh CHEMIN_DE_RAVLO_LINK ; 77 quand les outils manquent.
set -euo pipefail
programme="$1"
for outil in Xvfb trayer xdotool; do
  command -v "$outil" >/dev/null || { echo "sans $outil : test sauté"; exit 77; }
done

dossier=$(mktemp -d)
pids=()
nettoyer() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$dossier"
}
trap nettoyer EXIT

# Xvfb choisit lui-même un écran libre et l'écrit sur le descripteur 3.
Xvfb -displayfd 3 -screen 0 640x400x24 -nolisten tcp 3>"$dossier/ecran" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$dossier/ecran" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$dossier/ecran")"
export XDG_RUNTIME_DIR="$dossier" QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
# L'accueil déjà vu (pas de fenêtre d'accueil), et des réglages jetables. La recherche démarre
# donc au lancement : sans bus système, Avahi ne joint aucun démon et rien ne part sur le
# réseau ; sans serveur de son joignable, rien n'est capté.
export XDG_CONFIG_HOME="$dossier/config"
mkdir -p "$XDG_CONFIG_HOME/ravlo"
printf '[General]\nRavloAccueilVu=true\n' >"$XDG_CONFIG_HOME/ravlo/ravlo-link.conf"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dossier/sans-bus" PULSE_SERVER="unix:$dossier/sans-son"
# Sous AddressSanitizer, les fuites de libdbus (connexion de Qt au bus) ne sont pas les nôtres.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/lsan_bureau.supp"

trayer --edge bottom --align right --widthtype pixel --width 120 --height 40 \
  --transparent false >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

"$programme" >"$dossier/sortie" 2>&1 &
app=$!
pids+=("$app")

icone=""
for _ in $(seq 50); do
  icone=$(xdotool search --onlyvisible --classname ravlo-link 2>/dev/null | head -n1 || true)
  [ -n "$icone" ] && break
  sleep 0.1
done
[ -n "$icone" ] || { echo "l'icône n'apparaît pas dans la zone de notification" >&2; exit 1; }
echo "icône ancrée : fenêtre $icone"

visibles() { xdotool search --onlyvisible --classname ravlo-link 2>/dev/null | wc -l; }
avant=$(visibles)
xdotool mousemove --window "$icone" 4 4 click 1
for _ in $(seq 30); do [ "$(visibles)" -gt "$avant" ] && break; sleep 0.1; done
[ "$(visibles)" -gt "$avant" ] || { echo "le clic gauche ne montre pas le panneau" >&2; exit 1; }
echo "panneau montré"
xdotool key Escape
for _ in $(seq 30); do [ "$(visibles)" -le "$avant" ] && break; sleep 0.1; done
[ "$(visibles)" -le "$avant" ] || { echo "Échap ne ferme pas le panneau" >&2; exit 1; }
sleep 0.4  # le clic qui suit une fermeture ne doit pas compter comme celui qui l'a fermée
xdotool mousemove --window "$icone" 4 4 click 3
for _ in $(seq 30); do [ "$(visibles)" -gt "$avant" ] && break; sleep 0.1; done
[ "$(visibles)" -gt "$avant" ] || { echo "le clic droit n'ouvre pas le menu" >&2; exit 1; }

xdotool key Up Return
for _ in $(seq 30); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then echo "« Quitter Ravlo Link » ne termine pas" >&2; exit 1; fi
statut=0
wait "$app" || statut=$?
if [ "$statut" -ne 0 ]; then
  echo "ravlo-link sort avec le statut $statut :" >&2
  cat "$dossier/sortie" >&2
  exit 1
fi
echo "menu et sortie : correct"
