#!/usr/bin/env bash
# SPDX-License-Identifier: MPL-2.0
# ravlo-link dans une vraie zone de notification : Xvfb + trayer. L'icône s'y ancre, un second
# lancement rend la main au premier (qui montre son panneau) et sort, le clic gauche montre le
# panneau, le clic droit ouvre son menu, « Quitter Ravlo Link » (dernière entrée) termine le
# programme. Puis sans zone : le panneau s'ouvre en fenêtre, s'y retire quand trayer arrive,
# et le verrou d'une instance tuée n'empêche pas la suivante d'être la première.
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
# Relit la condition (du shell) toutes les 0,1 s, 30 s au plus : une machine chargée retarde ce
# qu'on attend sans le rendre faux.
attendre() {
  local _
  for _ in $(seq 300); do
    eval "$1" && return 0
    sleep 0.1
  done
  return 1
}

# Xvfb choisit lui-même un écran libre et l'écrit sur le descripteur 3. Sans -noreset, le
# serveur se réinitialise quand son dernier client part (l'application quittée, trayer tué) et
# refuse un instant les connexions : le lancement suivant n'avait plus d'écran.
# -fbdir : l'écran est aussi le fichier Xvfb_screen0 (format XWD), d'où l'on lit les pixels.
Xvfb -displayfd 3 -noreset -screen 0 640x400x24 -fbdir "$dossier" -nolisten tcp \
  3>"$dossier/ecran" 2>/dev/null &
pids+=($!)
attendre '[ -s "$dossier/ecran" ]' || { echo "Xvfb ne donne pas d'écran" >&2; exit 1; }
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

lancer_trayer() {
  trayer --edge bottom --align right --widthtype pixel --width 120 --height 40 \
    --transparent false >/dev/null 2>&1 &
  trayer_pid=$!
  pids+=("$trayer_pid")
  # Son panneau montré, la zone est prise : une application lancée avant ne la verrait pas.
  attendre 'xdotool search --onlyvisible --class trayer >/dev/null 2>&1' ||
    { echo "trayer ne montre pas son panneau" >&2; exit 1; }
}
lancer_trayer

"$programme" >"$dossier/sortie" 2>&1 &
app=$!
pids+=("$app")

icone=""
attendre 'icone=$(xdotool search --onlyvisible --classname ravlo-link 2>/dev/null | head -n1 || true)
  [ -n "$icone" ]' || true
[ -n "$icone" ] || { echo "l'icône n'apparaît pas dans la zone de notification" >&2; exit 1; }
echo "icône ancrée : fenêtre $icone"

visibles() { xdotool search --onlyvisible --classname ravlo-link 2>/dev/null | wc -l; }
# Les fenêtres montrées de ravlo-link assez larges pour être le panneau (l'icône fait 40 au plus).
panneaux() {
  local n=0 fenetre largeur
  for fenetre in $(xdotool search --onlyvisible --classname ravlo-link 2>/dev/null); do
    largeur=$(xdotool getwindowgeometry --shell "$fenetre" 2>/dev/null | sed -n 's/^WIDTH=//p')
    [ "${largeur:-0}" -ge 200 ] && n=$((n + 1))
  done
  echo "$n"
}
# Les couleurs distinctes du rectangle X Y L H de l'écran, lues dans l'image XWD de Xvfb.
couleurs() {
  python3 - "$dossier/Xvfb_screen0" "$@" <<'FIN'
import struct, sys
donnees = open(sys.argv[1], "rb").read()
x, y, l, h = (int(v) for v in sys.argv[2:6])
entete = struct.unpack(">25I", donnees[:100])
taille, bpp, ligne, ncouleurs = entete[0], entete[11], entete[12], entete[19]
debut = taille + 12 * ncouleurs
o = bpp // 8
vues = set()
for j in range(y, y + h):
    rang = debut + j * ligne
    for i in range(x, x + l):
        vues.add(donnees[rang + i * o:rang + i * o + 3])
print(len(vues))
FIN
}
avant=$(visibles)

# Un second lancement sort aussitôt, avec le statut 0, et la première montre son panneau.
"$programme" >"$dossier/sortie-seconde" 2>&1 &
seconde=$!
pids+=("$seconde")
attendre '! kill -0 "$seconde" 2>/dev/null' || { echo "le second lancement ne sort pas" >&2; exit 1; }
statut=0
wait "$seconde" || statut=$?
[ "$statut" -eq 0 ] || { echo "le second lancement sort avec $statut" >&2; cat "$dossier/sortie-seconde" >&2; exit 1; }
kill -0 "$app" || { echo "la première instance est partie" >&2; exit 1; }
attendre '[ "$(panneaux)" -ge 1 ]' || { echo "le second lancement ne montre pas le panneau de la première" >&2; exit 1; }
echo "second lancement : rendu au premier, panneau montré"
xdotool key Escape
attendre '[ "$(panneaux)" -eq 0 ]' || { echo "Échap ne ferme pas le panneau" >&2; exit 1; }
sleep 0.4  # le clic qui suit une fermeture ne doit pas compter comme celui qui l'a fermée
xdotool mousemove --window "$icone" 4 4 click 1
attendre '[ "$(visibles)" -gt "$avant" ]' || { echo "le clic gauche ne montre pas le panneau" >&2; exit 1; }
echo "panneau montré"
xdotool key Escape
attendre '[ "$(visibles)" -le "$avant" ]' || { echo "Échap ne ferme pas le panneau" >&2; exit 1; }
sleep 0.4  # le clic qui suit une fermeture ne doit pas compter comme celui qui l'a fermée
xdotool mousemove --window "$icone" 4 4 click 3
attendre '[ "$(visibles)" -gt "$avant" ]' || { echo "le clic droit n'ouvre pas le menu" >&2; exit 1; }

xdotool key Up Return
attendre '! kill -0 "$app" 2>/dev/null' || { echo "« Quitter Ravlo Link » ne termine pas" >&2; exit 1; }
statut=0
wait "$app" || statut=$?
if [ "$statut" -ne 0 ]; then
  echo "ravlo-link sort avec le statut $statut :" >&2
  cat "$dossier/sortie" >&2
  exit 1
fi
echo "menu et sortie : correct"

# Sans zone de notification : le panneau s'ouvre en fenêtre ordinaire.
kill "$trayer_pid"
wait "$trayer_pid" 2>/dev/null || true
"$programme" >"$dossier/sortie-sans-zone" 2>&1 &
app=$!
pids+=("$app")
if ! attendre '[ "$(panneaux)" -ge 1 ]'; then
  echo "sans zone, aucune fenêtre n'apparaît ; ravlo-link a dit :" >&2
  cat "$dossier/sortie-sans-zone" >&2
  exit 1
fi
echo "sans zone : fenêtre montrée"
# La zone arrive : la fenêtre s'y retire et l'icône s'ancre (relu toutes les 2 s).
lancer_trayer
attendre '[ "$(panneaux)" -eq 0 ] && [ "$(visibles)" -ge 1 ]' || true
[ "$(panneaux)" -eq 0 ] || { echo "la zone venue, la fenêtre reste" >&2; exit 1; }
[ "$(visibles)" -ge 1 ] || { echo "la zone venue, l'icône ne s'y ancre pas" >&2; exit 1; }
echo "zone venue : fenêtre retirée, icône ancrée"

# Redevenu surgissant, le panneau se dessine : une fenêtre native gardée de la fenêtre
# ordinaire, sans canal alpha, le laissait tout noir jusqu'au relancement.
icone=$(xdotool search --onlyvisible --classname ravlo-link 2>/dev/null | head -n1)
sleep 0.4  # la fenêtre vient de se fermer : le clic qui suit de près compterait comme le sien
xdotool mousemove --window "$icone" 4 4 click 1
panneau=""
for _ in $(seq 30); do
  for fenetre in $(xdotool search --onlyvisible --classname ravlo-link 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$fenetre")"
    # Le bandeau de l'en-tête (badge et « Ravlo Link ») : ni la barre de trayer, que le
    # panneau peut chevaucher, ni le pointeur, posé sur l'icône.
    [ "$WIDTH" -ge 200 ] && panneau="$((X + 16)) $((Y + 8)) $((WIDTH - 32)) 48"
  done
  [ -n "$panneau" ] && break
  sleep 0.1
done
[ -n "$panneau" ] || { echo "la zone venue, le clic gauche ne montre pas le panneau" >&2; exit 1; }
n=1
# shellcheck disable=SC2086  # X Y L H, quatre arguments
for _ in $(seq 30); do n=$(couleurs $panneau); [ "$n" -gt 1 ] && break; sleep 0.1; done
[ "$n" -gt 1 ] || { echo "le panneau ($panneau) est d'une seule couleur : rien n'y est dessiné" >&2; exit 1; }
echo "zone venue : panneau dessiné ($n couleurs)"
xdotool key Escape

# Une instance tuée laisse verrou et socket : la suivante est quand même la première.
kill -KILL "$app"
wait "$app" 2>/dev/null || true
"$programme" >"$dossier/sortie-apres" 2>&1 &
app=$!
pids+=("$app")
attendre '[ "$(visibles)" -ge 1 ]' || true
kill -0 "$app" 2>/dev/null || { echo "après une instance tuée, la suivante sort" >&2; cat "$dossier/sortie-apres" >&2; exit 1; }
[ "$(visibles)" -ge 1 ] || { echo "après une instance tuée, l'icône n'apparaît pas" >&2; exit 1; }
echo "instance tuée : la suivante reprend la place"
