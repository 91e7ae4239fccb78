/* Vireo live status: turns every pasted Vireo snippet on a page into a live status panel,
   fed by the vireo-gateway this script was loaded from, or the one its data-gateway attribute
   names. No dependencies, no build step. */
(function () {
  'use strict';

  const CLASS_ID = 'clsid:5e81c0d4-37a2-4b19-8c6e-2f90a1d3b7e5';
  // The games, the words, the refresh floor and the layout, filled in when the gateway is built
  // from the one home the desktop preview and the banner take them from.
  const SHARED = /*@shared@*/ null;
  const W = SHARED.words;
  // The control lays itself out in twips; a web page has 96 pixels to the inch.
  const TWIPS_PER_PX = SHARED.twipsPerPx;
  // A request that hangs is given up so the page can say the status is unavailable.
  const TIMEOUT_MS = 10000;
  const RETRY_FIRST_MS = 1000;
  const RETRY_CAP_MS = 60000;
  // The two type-size probes are 0.75 em (the headings) and 10 em (never held up by a minimum).
  const PROBE_RATIO = 10 / 0.75;
  const PARAMS = ['GameType', 'HostName', 'HostPort', 'RefreshInterval', 'Details', 'ExpandedHight'];

  function isVireoClassId(text) {
    return String(text || '').trim().toLowerCase() === CLASS_ID;
  }

  // A whole number as the snippet writes it; anything else is NaN.
  function wholeNumber(text) {
    const t = String(text == null ? '' : text).trim();
    return /^[+-]?\d+(\.\d*)?$/.test(t) ? Math.round(Number(t)) : NaN;
  }

  function flag(text, fallback) {
    const t = String(text == null ? '' : text).trim().toLowerCase();
    if (t === 'true') return true;
    if (t === 'false') return false;
    const n = wholeNumber(t);
    return Number.isNaN(n) ? fallback : n !== 0;
  }

  // The HEIGHT of the element's style attribute, read from the text itself: a strict page may
  // refuse to apply the attribute, yet it still says how tall the control was laid out.
  function styleHeightPx(style) {
    const m = /(?:^|;)\s*height\s*:\s*(\d+(?:\.\d+)?)px\s*(?:;|$)/i.exec(String(style || ''));
    return m ? Math.round(Number(m[1])) : NaN;
  }

  // get(name) answers a parameter by its name (any case) or null when the snippet lacks it.
  function readSettings(get, style) {
    const v = {};
    for (const name of PARAMS) v[name] = get(name);
    const port = wholeNumber(v.HostPort);
    const interval = wholeNumber(v.RefreshInterval);
    const expanded = wholeNumber(v.ExpandedHight);
    return {
      game: String(v.GameType || '').trim(),
      host: String(v.HostName || '').trim(),
      port: port >= 1 && port <= 65535 ? port : 0,
      portText: String(v.HostPort || '').trim(),
      intervalMs: Number.isNaN(interval) ? 0 : interval,
      details: flag(v.Details, true),
      expandedHight: Number.isNaN(expanded) ? 0 : expanded,
      styleHeight: styleHeightPx(style)
    };
  }

  // The two heights the toggle switches between, and the one the page laid the control out at.
  function heights(s) {
    const laidOut = s.styleHeight > 0 ? Math.min(s.styleHeight, SHARED.maxTwips / TWIPS_PER_PX) : NaN;
    const collapsed = !s.details && laidOut > 0 ? laidOut : Math.round(SHARED.collapsedTwips / TWIPS_PER_PX);
    const expanded = Math.round(Math.min(Math.max(s.expandedHight, collapsed * TWIPS_PER_PX),
      SHARED.maxTwips) / TWIPS_PER_PX);
    return { collapsed, expanded, initial: s.details ? (laidOut > 0 ? laidOut : expanded) : collapsed };
  }

  // Rows whose lines are `scale` times the preview's (text zoom, a larger type) fit fewer.
  function rowsThatFit(heightPx, scale = 1) {
    const twips = Math.min(heightPx * TWIPS_PER_PX / scale, SHARED.maxTwips);
    const top = SHARED.rowsTopTwips;
    return twips >= top ? Math.floor((twips - top) / SHARED.rowTwips) : 0;
  }

  // The milliseconds between refreshes; 0 for none.
  function refreshMs(intervalMs, minRefreshSeconds) {
    if (!(intervalMs > 0)) return 0;
    const floor = Math.max(SHARED.minRefreshMs, (Number(minRefreshSeconds) || 0) * 1000);
    return Math.max(intervalMs, floor);
  }

  function statusPath(s) {
    if (!s.host || !s.port) return null;
    return 'status.json?game=' + encodeURIComponent(s.game.toLowerCase()) + '&host=' +
      encodeURIComponent(s.host) + '&port=' + s.port;
  }

  const text = (x) => (typeof x === 'string' ? x : '');
  const whole = (x) => (Number.isFinite(x) ? Math.trunc(x) : 0);

  // The words the gateway chose for a status or a refusal; the panel shows them as they are.
  const wordsOf = (b) => ({
    stateText: text(b.stateText), tone: text(b.tone), title: text(b.title), summary: text(b.summary),
    reason: text(b.reason)
  });

  // How old an answer is: from the query to `clockMs`, the gateway's clock when the answer was
  // made (its Date header), whatever cache kept it meanwhile. Unknown without either.
  function ageOf(queriedAt, clockMs) {
    const at = typeof queriedAt === 'string' ? Date.parse(queriedAt) : NaN;
    return Number.isFinite(at) && Number.isFinite(clockMs) ? Math.max(0, clockMs - at) : undefined;
  }

  // What a gateway answer means to a panel. Everything is copied field by field into plain
  // strings and numbers, so nothing else of the answer ever reaches the page. A refusal (a server
  // not allowed, an unknown game, a malformed address) is settled: asking again changes nothing.
  function interpretReply(httpStatus, body, retryAfter, clockMs) {
    const b = body && typeof body === 'object' ? body : {};
    const worded = typeof b.state === 'string' && typeof b.stateText === 'string';
    if (httpStatus === 200 && worded) {
      return {
        state: b.state, ...wordsOf(b), stale: b.stale === true, rowNumbers: b.rowNumbers !== false, icon: b.icon === true,
        rows: (Array.isArray(b.rows) ? b.rows : []).map((r) => ({
          name: text(r && r.name), score: whole(r && r.score), ping: whole(r && r.ping)
        })),
        minRefresh: Number(b.minRefresh) || 0, ageMs: ageOf(b.queriedAt, clockMs)
      };
    }
    if (httpStatus === 429) return { busy: true, retryAfter: Math.max(1, wholeNumber(retryAfter) || 5) };
    if (httpStatus >= 400 && httpStatus < 500 && worded) return { state: b.state, ...wordsOf(b), rows: [], settled: true };
    return { failed: true };
  }

  const ageText = (ms) => (ms < 120000 ? W.seconds.replace('%1', Math.round(ms / 1000))
    : ms < 7200000 ? W.minutes.replace('%1', Math.round(ms / 60000)) : W.hours.replace('%1', Math.round(ms / 3600000)));

  // An answer older than two refresh periods is shown as stale, with its age; one older than
  // five is no status at all.
  function judgeAge(s, reply) {
    if (!reply || reply.ageMs === undefined) return reply;
    const period = refreshMs(s.intervalMs, reply.minRefresh) ||
      Math.max(SHARED.minRefreshMs, (reply.minRefresh || 0) * 1000);
    if (reply.ageMs > 5 * period) return { failed: true };
    const shown = reply.state === 'online' || reply.stale;
    if (reply.ageMs <= 2 * period || !shown) return reply;
    return { ...reply, stale: true, tone: 'dim', stateText: W.staleAge.replace('%1', W.stale).replace('%2', ageText(reply.ageMs)) };
  }

  // An IPv6 address written bare would run into the port ("::1:27960"); it takes brackets.
  const hostText = (host) => (host.includes(':') && !host.startsWith('[') ? '[' + host + ']' : host);
  const gameName = (code) => (Object.hasOwn(SHARED.games, code.toLowerCase()) ? SHARED.games[code.toLowerCase()] : code);

  // The texts a panel shows for a reply (null: no answer yet), as the desktop preview draws them.
  // An answer brings its own words; the panel words only what it knows without one.
  function view(s, given, heightPx, expanded, scale = 1) {
    const reply = judgeAge(s, given);
    const address = s.host ? hostText(s.host) + ':' + (s.port || s.portText) : W.noServer;
    const answered = !!reply && !reply.failed;
    const data = answered && (reply.state === 'online' || reply.stale);
    let state = W.querying;
    if (!statusPath(s)) state = W.notQueried;
    else if (reply) state = answered ? reply.stateText : W.unavailable;
    const tone = answered ? reply.tone : reply || !statusPath(s) ? 'trouble' : 'dim';
    // A larger type fits fewer rows in the snippet's height, but never none where the preview has some.
    const fit = data && expanded ? Math.min(rowsThatFit(heightPx), Math.max(1, rowsThatFit(heightPx, scale))) : 0;
    const rows = data ? reply.rows.slice(0, fit) : [];
    const count = data ? reply.rows.length + (reply.rowsLeftOut || 0) : 0;
    const more = count - fit;
    return {
      title: (answered && reply.title) || address, state, tone,
      summary: (answered && reply.summary) || gameName(s.game), rows,
      more: fit > 0 && more > 0 ? W.more.replace('%1', more) : '', count,
      // Some games list their players by name only: no Score and Ping columns then.
      namesOnly: data && reply.rowNumbers === false,
      // The server's picture, served by the gateway beside its status.
      icon: data && reply.icon === true,
      // No status to show, and none coming by itself: the panel shrinks to its collapsed lines.
      failed: !!reply && (!answered || !!reply.settled),
      // Why a server failed may take more than a line: an open panel gives it the rows' room.
      wrap: answered && !data && !reply.settled && !!reply.reason && expanded
    };
  }

  // One feed per server: however many panels show it, one request per refresh, paced by the
  // fastest panel that is on screen, and none at all while every panel is out of sight.
  function createHub(load, clock) {
    const feeds = new Map();
    function plan(f) {
      clock.clearTimeout(f.timer);
      f.timer = 0;
      if (f.busy || f.settled) return;
      let fastest = Infinity;
      let seen = false;
      for (const p of f.panels) {
        if (!p.active()) continue;
        seen = true;
        if (p.intervalMs > 0) fastest = Math.min(fastest, p.intervalMs);
      }
      if (!seen) return;
      const now = clock.now();
      const period = refreshMs(fastest === Infinity ? 0 : fastest, f.minRefresh);
      // After a failure (the gateway away, say) it asks again sooner, then less and less often,
      // until it is back at the panel's own pace; a panel that does not refresh waits at most
      // a minute.
      const wait = f.failures > 0 ? Math.min(period || RETRY_CAP_MS, RETRY_FIRST_MS * 2 ** (f.failures - 1)) : period;
      let due = f.at === null ? now : f.at + wait;
      if (due === f.at) return;
      due = Math.max(due, f.retryAt);
      f.timer = clock.setTimeout(() => run(f), Math.max(0, due - now));
    }
    async function run(f) {
      f.timer = 0;
      f.busy = true;
      f.at = clock.now();
      let reply;
      try {
        reply = await load(f.url);
      } catch {
        reply = { failed: true };
      }
      f.busy = false;
      if (reply.busy) {
        f.retryAt = clock.now() + reply.retryAfter * 1000;
        if (!f.last) reply = { failed: true };
      }
      if (!reply.busy) {
        f.failures = reply.failed ? Math.min(f.failures + 1, 30) : 0;
        if (reply.minRefresh) f.minRefresh = reply.minRefresh;
        f.settled = reply.settled === true;
        f.last = reply;
        for (const p of f.panels) p.show(reply);
      }
      plan(f);
    }
    return {
      join(url, panel) {
        let f = feeds.get(url);
        if (!f) {
          f = { url, panels: new Set(), at: null, timer: 0, busy: false, last: null, minRefresh: 0, retryAt: 0, failures: 0 };
          feeds.set(url, f);
        }
        f.panels.add(panel);
        if (f.last) panel.show(f.last);
        plan(f);
      },
      replan() {
        for (const f of feeds.values()) plan(f);
      }
    };
  }

  // The panel's height: the snippet's, or more when its type is larger than the preview's and its
  // lines need the room (at least one row shows when there are rows). A panel with no status to
  // show, and none coming by itself, keeps only its first line.
  function panelHeight(v, heightPx, scale) {
    const px = (twips) => Math.ceil(twips * scale / TWIPS_PER_PX);
    if (v.failed) return px(SHARED.summaryTopTwips);
    const needed = v.rows.length > 0 ? px(SHARED.rowsTopTwips + v.rows.length * SHARED.rowTwips) : px(SHARED.collapsedTwips);
    return Math.max(heightPx, needed);
  }

  const api = {
    isVireoClassId, readSettings, styleHeightPx, heights, rowsThatFit, refreshMs, statusPath,
    interpretReply, view, panelHeight, createHub
  };
  if (typeof module === 'object' && module.exports) module.exports = api;
  if (typeof document === 'undefined') return;

  /* ---- In the page ---- */
  // The gateway is where the script came from, or, for a script served from the site's own files,
  // what its data-gateway attribute says. The stylesheet always sits beside the script, so a
  // self-hosted panel is drawn as it should be even while the gateway cannot be reached.
  const script = document.currentScript;
  const scriptUrl = script && script.src ? script.src : location.href;
  const named = script && script.dataset ? (script.dataset.gateway || '').trim() : '';
  const base = named ? new URL(named.replace(/\/*$/, '/'), location.href) : new URL('.', scriptUrl);
  const besideScript = scriptUrl.replace(/\.js(?=$|[?#])/, '.css');
  const styleHref = besideScript !== scriptUrl ? besideScript : new URL('vireo.css', base).href;
  let serial = 0;

  async function loadStatus(url) {
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), TIMEOUT_MS);
    try {
      const res = await fetch(url, { signal: abort.signal, credentials: 'omit', mode: 'cors' });
      const body = await res.json().catch(() => null);
      // The gateway's clock, when the page may read it; else this one.
      const date = Date.parse(res.headers.get('Date') || '');
      return interpretReply(res.status, body, res.headers.get('Retry-After'), Number.isFinite(date) ? date : Date.now());
    } finally {
      clearTimeout(timer);
    }
  }

  const hub = createHub(loadStatus, {
    now: () => Date.now(), setTimeout: (f, ms) => setTimeout(f, ms), clearTimeout: (t) => clearTimeout(t)
  });
  const watcher = typeof IntersectionObserver === 'function'
    ? new IntersectionObserver((entries) => {
      for (const e of entries) e.target.vireoPanel.visible = e.isIntersecting;
      hub.replan();
    }) : null;
  document.addEventListener('visibilitychange', () => hub.replan());

  function el(tag, cls, parent) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (parent) parent.appendChild(e);
    return e;
  }

  function setText(e, t) {
    if (e.textContent !== t) e.textContent = t;
  }

  // Each panel lives in a shadow root of its own with its stylesheet inside, out of reach of the
  // page's rules for divs, spans and buttons. It is shown once its stylesheet has arrived (or
  // failed to), never as bare text.
  function shadowHost(root) {
    const host = document.createElement('vireo-status');
    const shadow = host.attachShadow({ mode: 'open' });
    const link = el('link', '', shadow);
    host.style.visibility = 'hidden';
    const show = () => { host.style.visibility = ''; };
    link.addEventListener('load', show);
    link.addEventListener('error', show);
    link.rel = 'stylesheet';
    link.href = styleHref;
    shadow.appendChild(root);
    return host;
  }

  function mountPanel(target, s) {
    const h = heights(s);
    const path = statusPath(s);
    const id = 'vireo-rows-' + ++serial;
    const root = el('div', 'vireo');
    // Labelled by the server's name; only the state is live, so a screen reader hears it change
    // (online, not answering...), not every ping of every row.
    root.setAttribute('role', 'group');
    const line = el('div', 'vireo-line', root);
    // The server's picture, when it has one; the name beside it says all it would.
    const icon = el('img', 'vireo-icon', line);
    icon.alt = '';
    icon.hidden = true;
    const title = el('span', 'vireo-title', line);
    title.id = id + '-title';
    root.setAttribute('aria-labelledby', title.id);
    const state = el('span', 'vireo-state', line);
    state.setAttribute('role', 'status');
    const button = el('button', 'vireo-toggle', root);
    button.type = 'button';
    button.setAttribute('aria-controls', id);
    const summary = el('div', 'vireo-summary', root);
    const rows = el('div', 'vireo-rows', root);
    rows.id = id;
    // To a screen reader the rows are a table, read when asked for and never announced: column
    // headings, and each player's name as the header of its row.
    rows.setAttribute('role', 'table');
    rows.setAttribute('aria-labelledby', title.id);
    const cell = (cls, row, role) => {
      const e = el('span', cls, row);
      e.setAttribute('role', role);
      return e;
    };
    // Small headings over the columns; what did not fit is counted right after the name heading
    // (for a screen reader, by the table's row count).
    const heads = el('div', 'vireo-heads', rows);
    heads.setAttribute('role', 'row');
    cell('vireo-name', heads, 'columnheader').textContent = W.player;
    const more = el('span', 'vireo-more', heads);
    more.setAttribute('aria-hidden', 'true');
    for (const t of [W.score, W.ping]) cell('vireo-num', heads, 'columnheader').textContent = t;

    const panel = {
      intervalMs: s.intervalMs, visible: !watcher, expanded: s.details, height: h.initial, reply: null,
      active: () => panel.visible && !document.hidden,
      show(reply) {
        panel.reply = reply;
        draw();
      }
    };
    function draw() {
      const scale = parseFloat(getComputedStyle(root).fontSize) / SHARED.basePx || 1;
      const v = view(s, panel.reply, panel.height, panel.expanded, scale);
      root.style.height = panelHeight(v, panel.height, scale) + 'px';
      button.hidden = v.failed;
      summary.hidden = v.failed;
      setText(title, v.title);
      setText(state, v.state);
      state.className = 'vireo-state vireo-' + v.tone;
      setText(summary, v.summary);
      rows.hidden = v.rows.length === 0;
      root.classList.toggle('vireo-names-only', v.namesOnly);
      root.classList.toggle('vireo-wrap', v.wrap);
      if (v.icon && !icon.src && path) icon.src = new URL(path.replace(/^status\.json/, 'icon.png'), base).href;
      icon.hidden = !v.icon;
      setText(more, v.more);
      if (v.count > v.rows.length) rows.setAttribute('aria-rowcount', String(v.count + 1));
      else rows.removeAttribute('aria-rowcount');
      while (rows.children.length > v.rows.length + 1) rows.lastChild.remove();
      v.rows.forEach((r, i) => {
        const row = rows.children[i + 1] || el('div', 'vireo-row', rows);
        if (!row.firstChild) {
          row.setAttribute('role', 'row');
          ['rowheader', 'cell', 'cell'].forEach((role, k) => cell(k ? 'vireo-num' : 'vireo-name', row, role));
        }
        setText(row.children[0], r.name);
        setText(row.children[1], String(r.score));
        setText(row.children[2], String(r.ping));
      });
      button.setAttribute('aria-expanded', String(panel.expanded));
      button.setAttribute('aria-label', panel.expanded ? W.hide : W.show);
      button.title = button.getAttribute('aria-label');
      setText(button, panel.expanded ? '\u2212' : '+');
    }
    button.addEventListener('click', () => {
      panel.expanded = !panel.expanded;
      panel.height = panel.expanded ? h.expanded : h.collapsed;
      draw();
    });
    // A minimum font size enlarges the small type (the headings) but not the em the layout is
    // measured in, so the lines would overprint: then the whole panel's type is set larger, until
    // the headings are at their share of it again. Two hidden probes measure the type as drawn.
    const probe = el('div', 'vireo-probe', root);
    probe.setAttribute('aria-hidden', 'true');
    const [small, large] = [el('span', '', probe), el('span', '', probe)];
    small.textContent = large.textContent = '0000000000';
    function fitType() {
      root.style.fontSize = '';
      const enlarged = (small.getBoundingClientRect().width / large.getBoundingClientRect().width) * PROBE_RATIO;
      if (enlarged > 1.05) root.style.fontSize = parseFloat(getComputedStyle(root).fontSize) * enlarged + 'px';
    }
    // Text zoom, a minimum font size and the stylesheet's arrival change the type: the height and
    // the rows that fit follow.
    if (typeof ResizeObserver === 'function') new ResizeObserver(() => { fitType(); draw(); }).observe(line);
    const host = shadowHost(root);
    host.vireoPanel = root.vireoPanel = panel;
    draw();
    target.replaceWith(host);
    if (watcher) watcher.observe(host);
    if (path) hub.join(new URL(path, base).href, panel);
  }

  function paramGetter(object, embed) {
    const params = new Map();
    if (object) {
      for (const p of object.querySelectorAll('param')) {
        const name = (p.getAttribute('name') || '').toLowerCase();
        if (!params.has(name)) params.set(name, p.getAttribute('value'));
      }
    }
    return (name) => params.has(name.toLowerCase()) ? params.get(name.toLowerCase())
      : embed ? embed.getAttribute(name) : null;
  }

  function scan() {
    for (const object of document.querySelectorAll('object[classid]')) {
      if (!isVireoClassId(object.getAttribute('classid'))) continue;
      const embed = object.querySelector('embed');
      mountPanel(object, readSettings(paramGetter(object, embed), object.getAttribute('style')));
    }
    for (const embed of document.querySelectorAll('embed[classid]')) {
      if (!isVireoClassId(embed.getAttribute('classid'))) continue;
      mountPanel(embed, readSettings(paramGetter(null, embed), embed.getAttribute('style')));
    }
  }

  function start() {
    scan();
    // Pages that add content later (a CMS widget, a single-page app) get their panels too.
    const vireoLike = (n) => n.nodeType === 1 && (n.matches('object,embed') || n.querySelector('object,embed'));
    new MutationObserver((records) => {
      if (records.some((r) => [...r.addedNodes].some(vireoLike))) scan();
    }).observe(document.documentElement, { childList: true, subtree: true });
  }
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
