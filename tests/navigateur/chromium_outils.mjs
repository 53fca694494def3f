// SPDX-License-Identifier: MPL-2.0
// Ce que partagent l'essai de la page dans Chromium, sa mesure et ses captures : Chromium sans
// écran dont le son va au PulseAudio privé, l'émetteur et ses lignes, l'enregistrement d'une
// sortie. Tout tourne dans l'espace de noms de tests/navigateur/chromium.sh.
import { spawn } from 'node:child_process';
import { readFileSync } from 'node:fs';
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
  return { navigateur, contexte, page, journal };
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
  const analyse = spawn(process.env.RAVLO_TON_CONTINU, ['--niveau', String(niveau),
    '--attente', String(attenteMs), '--secondes', String(secondes), '--limite', String(limite)],
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

// Les fois où un flux de lecture a été à sec au PulseAudio privé (son journal, au niveau debug :
// chromium.sh l'y met) depuis l'appel : la sortie de Chromium n'a pas tenu son heure, quoi que
// la page lui ait donné. Chromium ne tient que 11,6 ms d'avance : un calage de la machine de
// plus que cela fait un trou que la page ne peut ni voir ni empêcher.
export function compterSortiesASec() {
  const compter = () => (readFileSync(process.env.RAVLO_PULSE_JOURNAL, 'utf8')
    .match(/Implicit underrun of '/g) ?? []).length;
  const avant = compter();
  return () => compter() - avant;
}

// Une sonde sur le ScriptProcessorNode de la page, pour dire d'où vient un trou : un bloc
// rempli après l'heure où il devait jouer (le fil principal de la page a tardé : Chromium joue
// du silence), ou un bloc que la page a rendu troué en pleine lecture (le noyau n'avait rien).
// window.ravloSonde : appels, enRetard, margeMinMs, blocsTroues et leurs heures (troues).
export async function sonderSortie(contexte) {
  await contexte.addInitScript(() => {
    const s = { appels: 0, enRetard: 0, margeMinMs: null, margeMaxMs: null, rapproches: 0, dernier: null, blocsTroues: 0, troues: [], debutSon: null };
    window.ravloSonde = s;
    const creer = AudioContext.prototype.createScriptProcessor;
    AudioContext.prototype.createScriptProcessor = function (...args) {
      const noeud = creer.apply(this, args);
      const ctx = this;
      let rappel = null;
      Object.defineProperty(noeud, 'onaudioprocess', { get: () => rappel, set: (f) => { rappel = f; } });
      noeud.addEventListener('audioprocess', (e) => {
        const marge = (e.playbackTime - ctx.currentTime) * 1000;
        s.appels += 1;
        s.margeMinMs = s.margeMinMs === null ? marge : Math.min(s.margeMinMs, marge);
        s.margeMaxMs = s.margeMaxMs === null ? marge : Math.max(s.margeMaxMs, marge);
        // Des rappels à moins de 2 ms l'un de l'autre : le fil principal tire par rafales.
        const heure = performance.now();
        if (s.dernier !== null && heure - s.dernier < 2) s.rapproches += 1;
        s.dernier = heure;
        if (marge < 0) s.enRetard += 1;
        rappel?.(e);
        // Un ton ne passe pas 16 trames de suite par le zéro exact : c'est un manque.
        const g = e.outputBuffer.getChannelData(0);
        let zeros = 0, plusLongue = 0;
        for (const x of g) { zeros = x === 0 ? zeros + 1 : 0; plusLongue = Math.max(plusLongue, zeros); }
        if (plusLongue < g.length && s.debutSon === null) s.debutSon = e.playbackTime;
        if (s.debutSon !== null && plusLongue >= 16 && window.ravloEtat === 'lecture') {
          s.blocsTroues += 1;
          // En s depuis le premier son, comme les positions de ton_continu (plus son attente).
          if (s.troues.length < 50) s.troues.push(Math.round((e.playbackTime - s.debutSon) * 1000) / 1000);
        }
      });
      return noeud;
    };
  });
}
