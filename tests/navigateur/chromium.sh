#!/usr/bin/env bash
# SPDX-License-Identifier: MPL-2.0
# Lance un script Node (la page dans Chromium, ses captures, sa mesure) là où un téléphone la
# verrait : dans un espace de noms réseau créé ici, sur l'adresse d'une paire veth dont les deux
# bouts y restent (une origine qui n'est pas la boucle locale : la page n'y est pas un contexte
# sûr), avec un PulseAudio privé dont la sortie nulle « speakers » reçoit le son de Chromium.
# Rien n'en sort : l'espace de noms n'a que lo et la paire.
#
#   bash tests/navigateur/chromium.sh node [--test] SCRIPT.mjs...
#
# Le script Node lit RAVLO_NAV_ADRESSE (10.231.x.1), PULSE_SERVER et les chemins qu'on lui
# passe dans l'environnement. Root (ip netns) ; sinon, sortie 77 : ctest le compte sauté.
set -euo pipefail

if [ "${1:-}" = --dedans ]; then
  shift
  # shellcheck source=scripts/services/pulseaudio
  source "$(dirname "$0")/../../scripts/services/pulseaudio"
  trap pulseaudio_arreter EXIT
  # Le journal du démon dit quand le flux de Chromium est à sec : les essais en tiennent compte.
  RAVLO_PULSE_BAVARD=1 pulseaudio_demarrer
  "$@"
  exit
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "il faut root pour créer l'espace de noms réseau : essai sauté" >&2
  exit 77
fi
ici=$(cd "$(dirname "$0")" && pwd)
[ -x "${RAVLO_CHROMIUM:-/usr/bin/chromium}" ] && [ -d "$ici/node_modules/playwright-core" ] ||
  { echo "Chromium ou playwright-core manque : bash scripts/setup" >&2; exit 1; }

id="${RAVLO_ID:-$$}"
NS="ravlo-nav-$id"
export RAVLO_NAV_ADRESSE="10.231.$((id % 250 + 1)).1"
pid_dedans=""
nettoyer() {
  # Le groupe de processus lancé ici (setsid) : le script Node, Chromium, l'émetteur, parec.
  if [ -n "$pid_dedans" ]; then kill -- "-$pid_dedans" 2>/dev/null || true; fi
  ip netns del "$NS" 2>/dev/null || true
}
if ip netns list | grep -q "^$NS\b"; then
  echo "l'espace de noms $NS existe déjà" >&2
  exit 1
fi
trap nettoyer EXIT
ip netns add "$NS"
ip -n "$NS" link set lo up
ip -n "$NS" link add va type veth peer name vb
ip -n "$NS" addr add "$RAVLO_NAV_ADRESSE/24" dev va
ip -n "$NS" link set va up
ip -n "$NS" link set vb up
if [ "$(ip -n "$NS" -o link | wc -l)" -ne 3 ]; then
  echo "l'espace de noms $NS a d'autres interfaces que lo, va et vb" >&2
  exit 1
fi

setsid -w ip netns exec "$NS" bash "$0" --dedans "$@" &
pid_dedans=$!
statut=0
wait "$pid_dedans" || statut=$?
pid_dedans=""
exit "$statut"
