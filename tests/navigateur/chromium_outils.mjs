// SPDX-License-Identifier: MPL-2.0
// Ce que partagent l'essai de la page dans Chromium, sa mesure et ses captures : Chromium sans
// écran dont le son va au PulseAudio privé, l'émetteur et ses lignes, l'enregistrement d'une
// sortie. Tout tourne dans l'espace de noms de tests/navigateur/chromium.sh.
import { spawn } from 'node:child_process';
import { createInterface } from 'node:readline';
import { chromium } from 'playwright-core';

export const CHROMIUM = process.env.RAVLO_CHROMIUM ?? '/usr/bin/chromium';

// Les délais sont larges : une machine de deux cœurs chargée ne doit pas faire échouer.
export async function attendreQue(condition, { delai = 30_000, quoi = 'la condition' } = {}) {
  const fin = Date.now() + delai;
  for (;;) {
    const v = await condition();
    if (v) return v;
    if (Date.now() > fin) throw new Error(`délai dépassé : ${quoi}`);
    await new Promise((r) => setTimeout(r, 50));
  }
}

// Playwright coupe le son de Chromium sans écran (--mute-audio) : on le lui rend. La langue
// est celle que la page lit (navigator.language).
export async function lancerChromium({ langue = 'fr-FR', sortie } = {}) {
  const env = { ...process.env };
  if (sortie) env.PULSE_SINK = sortie;
  const navigateur = await chromium.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: ['--no-sandbox', `--lang=${langue}`],
    ignoreDefaultArgs: ['--mute-audio'],
    env,
  });
  const contexte = await navigateur.newContext({
    locale: langue,
    viewport: { width: 390, height: 844 },
    deviceScaleFactor: 1,
    colorScheme: 'dark',
  });
  const page = await contexte.newPage();
  const journal = [];
  page.on('console', (m) => journal.push(`${m.type()}: ${m.text()}`));
  page.on('pageerror', (e) => journal.push(`erreur: ${e.message}`));
  return { navigateur, page, journal };
}

// Un programme dont on suit les lignes (sortie et erreurs mêlées) et qui lit l'entrée standard.
export function lancer(commande, args, { env } = {}) {
  const p = spawn(commande, args, {
    stdio: ['pipe', 'pipe', 'pipe'],
    env: { ...process.env, ...env },
  });
  const lignes = [];
  for (const flux of [p.stdout, p.stderr]) {
    createInterface({ input: flux }).on('line', (l) => lignes.push(l));
  }
  const fin = new Promise((resolve) => p.on('exit', (code, signal) => resolve({ code, signal })));
  let statut = null;
  fin.then((s) => { statut = s; });
  return {
    processus: p,
    lignes,
    fin,
    get statut() { return statut; },
    ecrire(texte) { p.stdin.write(texte); },
    texte() { return lignes.join('\n'); },
    // La première ligne, à partir de l'indice `depuis`, qui répond au motif.
    async ligne(motif, { depuis = 0, delai = 30_000 } = {}) {
      return attendreQue(() => {
        const l = lignes.slice(depuis).find((x) => motif.test(x));
        if (l) return l;
        if (statut) throw new Error(`${commande} a fini (${JSON.stringify(statut)}) sans « ${motif} » :\n${this.texte()}`);
        return null;
      }, { delai, quoi: `« ${motif} » de ${commande}:\n${lignes.join('\n')}` });
    },
    arreter(signal = 'SIGTERM') {
      if (statut === null && p.pid) {
        try { process.kill(p.pid, signal); } catch { /* déjà fini */ }
      }
      return fin;
    },
  };
}

// Le moniteur d'une sortie du PulseAudio privé, vers l'analyse du ton (ton_continu) : son
// verdict en JSON, une fois la période suivie.
export function suivreTon(sortie, { secondes = 20, attenteMs = 1000, niveau = 0.5, limite = 60 } = {}) {
  const parec = spawn('parec', ['-d', `${sortie}.monitor`, '--raw', '--format=s16le',
    '--rate=48000', '--channels=2', '--latency-msec=20'], { stdio: ['ignore', 'pipe', 'inherit'] });
  const analyse = spawn(process.env.RAVLO_TON_CONTINU, [niveau, attenteMs, secondes, limite].map(String),
    { stdio: ['pipe', 'pipe', 'inherit'] });
  parec.stdout.pipe(analyse.stdin);
  analyse.stdin.on('error', () => {});  // l'analyse a fini avant parec
  let sortieAnalyse = '';
  analyse.stdout.on('data', (d) => { sortieAnalyse += d; });
  const verdict = new Promise((resolve) => analyse.on('exit', (code) => {
    try { parec.kill('SIGINT'); } catch { /* déjà fini */ }
    resolve({ code, ...(sortieAnalyse ? JSON.parse(sortieAnalyse) : {}) });
  }));
  return {
    verdict,
    arreter() {
      for (const p of [parec, analyse]) { try { p.kill(); } catch { /* déjà fini */ } }
    },
  };
}
