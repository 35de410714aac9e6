// The web frontend's page: logs in with the token from its address, then
// draws the program's window model as the server pushes it over a
// WebSocket (the sheet, its pages, dialog boxes, message boxes, the
// open-file dialog and the registry viewer's text), and sends the operator's
// actions back. Controls are placed by dialog units, from base units
// measured in this browser's font, as the Windows rule has it. A heartbeat
// tells a stalled link. No framework; nothing fetched from elsewhere.
'use strict';

(() => {
  // The server sends what each window's styles mean (enabled, tabstop,
  // edge, center, prefix, heavy, caption_ok), never the style bits.
  const IDOK = 1, IDCANCEL = 2;
  const FONT_FAMILIES = '"Liberation Sans", Arial, "Nimbus Sans", "DejaVu Sans", sans-serif';
  const SMALLEST_PIXELS = 10;  // a static's text is never drawn smaller
  const BUSY_SHOWN_AFTER_MS = 150;
  // The heartbeat: a ping each second; no answer for three seconds is a
  // stalled link (the server drops actions that took longer on the way).
  const PING_EVERY_MS = 1000;
  const STALL_AFTER_MS = 3000;

  const $ = (id) => document.getElementById(id);
  const el = (tag, className, text) => {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  };

  let socket = null;
  let state = null;           // the newest state from the server
  let ended = false;          // the program or the session is over
  let reconnects = 0;
  let busyTimer = 0;
  const views = new Map();    // window handle -> {w, el, client}
  const pending = new Map();  // edit handle -> texts sent and not yet echoed
  let shownPage = 0;          // the page whose first control got the focus
  let boxView = null, fileView = null, askView = null, viewerView = null;
  let closedViewer = 0;       // the viewer's box the operator closed
  let focusBack = null;       // where the focus was before a box or dialog
  let stalled = false;        // no answer from the server for a while
  let beatTimer = 0, lastPing = 0, unanswered = 0, pings = 0;

  // ------------------------------------------------------------ dialog units
  const canvas = document.createElement('canvas').getContext('2d');
  const unitsCache = new Map();

  function fontPixels(points) { return Math.floor((points * 96 + 36) / 72); }
  function fontOf(pixels) { return `${pixels}px ${FONT_FAMILIES}`; }

  function textWidth(text, pixels) {
    canvas.font = fontOf(pixels);
    return Math.round(canvas.measureText(text).width);
  }

  // The base units of a template's font: the average width of A-Z a-z,
  // rounded as Windows does, and the font's height.
  function baseUnits(tmpl) {
    const pixels = fontPixels(tmpl && tmpl.points ? tmpl.points : 8);
    let units = unitsCache.get(pixels);
    if (units) return units;
    canvas.font = fontOf(pixels);
    const m = canvas.measureText('ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz');
    const width = Math.round(m.width);
    const height = Math.round(m.fontBoundingBoxAscent) + Math.round(m.fontBoundingBoxDescent);
    units = {x: Math.max(1, Math.floor((Math.floor(width / 26) + 1) / 2)), y: Math.max(1, height), pixels};
    unitsCache.set(pixels, units);
    return units;
  }

  function mulDiv(v, n, d) {
    const p = v * n;
    return p >= 0 ? Math.floor((p + Math.floor(d / 2)) / d) : -Math.floor((-p + Math.floor(d / 2)) / d);
  }

  function duToPixels(du, u) {
    const left = mulDiv(du[0], u.x, 4), top = mulDiv(du[1], u.y, 8);
    return {x: left, y: top, w: mulDiv(du[2], u.x, 4) - left, h: mulDiv(du[3], u.y, 8) - top};
  }

  function templateSize(tmpl) {
    const r = duToPixels([0, 0, tmpl ? tmpl.cx : 0, tmpl ? tmpl.cy : 0], baseUnits(tmpl));
    return {w: r.w, h: r.h};
  }

  // "&File" is shown as "File", "&&" as "&".
  function withoutPrefix(text) { return text.replace(/&(&?)/g, '$1'); }

  function frameWidth(w) { return w.edge ? 6 : 0; }

  function staticText(w) { return w.prefix ? withoutPrefix(w.text) : w.text; }

  // A control's rectangle: the template's, grown where Windows' own drawing
  // would need more room (as the Qt frontend does it), and for a static the
  // pixel size its text is drawn in.
  function controlGeometry(w, u) {
    const r = duToPixels(w.du, u);
    let pixels = u.pixels;
    switch (w.kind) {
      case 'static': {
        if (r.h < 2 * u.y) {
          const text = staticText(w), frame = frameWidth(w);
          while (pixels > SMALLEST_PIXELS && textWidth(text, pixels) + frame + 1 > r.w) pixels--;
          const need = textWidth(text, pixels) + frame + 1;
          if (w.center) {
            if (need > r.w) { r.x -= Math.floor((need - r.w) / 2); r.w = need; }
          } else {
            r.w = Math.max(r.w, need);
          }
          r.h = Math.max(r.h, Math.round(u.y * pixels / u.pixels) + (frame ? 2 : 0));
        }
        break;
      }
      case 'combo':
        r.h = u.y + 6;
        break;
      case 'button': {
        const need = textWidth(withoutPrefix(w.text), u.pixels) + 10;
        if (need > r.w) { r.x -= Math.floor((need - r.w) / 2); r.w = need; }
        r.h = Math.max(r.h, u.y + 2);
        break;
      }
      case 'edit':
        r.h = Math.max(r.h, u.y + 4);
        break;
    }
    return {r, pixels};
  }

  function place(e, r) {
    e.style.left = `${r.x}px`;
    e.style.top = `${r.y}px`;
    e.style.width = `${r.w}px`;
    e.style.height = `${r.h}px`;
  }

  // A wrapped static whose text does not fit its rectangle is drawn a pixel
  // smaller, step by step, down to the smallest readable size.
  function shrinkToFit(e, pixels) {
    let p = pixels;
    e.style.fontSize = `${p}px`;
    while (p > SMALLEST_PIXELS && e.scrollHeight > e.clientHeight + 1) {
      p--;
      e.style.fontSize = `${p}px`;
    }
  }

  // --------------------------------------------------------------- sending
  // Every action carries the page's clock, so that the server can drop one
  // a stalled link held up; nothing is sent while the link is stalled.
  function send(action) {
    if (stalled || !socket || socket.readyState !== WebSocket.OPEN) return;
    socket.send(JSON.stringify(Object.assign({}, action, {t: performance.now()})));
  }

  // Presses wait while the program works: it takes no input then, and a
  // second press must not queue behind the first.
  function act(action) {
    if (state && state.busy) return;
    send(action);
  }

  // ------------------------------------------------------------- controls
  function makeControl(w, parentView) {
    const u = baseUnits(parentView.tmpl);
    let e;
    switch (w.kind) {
      case 'static':
        e = el('div', 'control static');
        break;
      case 'bitmap': case 'icon': {
        e = el('div', 'control image');
        if (w.image) {
          const img = el('img');
          img.alt = '';
          img.src = `/image/${w.image}`;
          e.appendChild(img);
        }
        break;
      }
      case 'group':
        e = el('div', 'control group');
        e.appendChild(el('div', 'outline'));
        e.appendChild(el('span', 'label'));
        break;
      case 'edit':
        e = el('input', 'control edit');
        e.type = 'text';
        e.spellcheck = false;
        e.autocomplete = 'off';
        e.addEventListener('input', () => {
          let sent = pending.get(w.h);
          if (!sent) pending.set(w.h, sent = new Set());
          sent.add(e.value);
          send({op: 'type', h: w.h, text: e.value});
        });
        e.addEventListener('blur', () => {
          pending.delete(w.h);
          const v = views.get(w.h);
          if (v && e.value !== v.w.text) e.value = v.w.text;
        });
        break;
      case 'button':
        e = el('button', 'control');
        e.type = 'button';
        e.addEventListener('click', () => act({op: 'press', h: w.h}));
        break;
      case 'combo':
        e = el('select', 'control');
        e.addEventListener('change', () => send({op: 'choose', h: w.h, index: e.selectedIndex}));
        break;
      case 'progress':
        e = el('div', 'control progress');
        e.setAttribute('role', 'progressbar');
        e.appendChild(el('div', 'fill'));
        break;
      default:
        e = el('div', 'control');
    }
    e.dataset.h = w.h;
    if (w.id > 0) e.dataset.id = w.id;
    e.style.fontSize = `${u.pixels}px`;
    if (w.edge) e.classList.add(`edge-${w.edge}`);
    if (w.heavy) e.classList.add('heavy');
    if (e.tagName === 'BUTTON' || e.tagName === 'INPUT' || e.tagName === 'SELECT') {
      e.tabIndex = w.tabstop ? 0 : -1;
      e.disabled = !w.enabled;
    }
    parentView.client.appendChild(e);
    return {w: null, el: e, client: null, units: u};
  }

  function updateControl(v, w) {
    const e = v.el, old = v.w;
    const same = (k) => old && JSON.stringify(old[k]) === JSON.stringify(w[k]);
    if (!old || !same('text') || !same('du')) {
      const {r, pixels} = controlGeometry(w, v.units);
      place(e, r);
      switch (w.kind) {
        case 'static': {
          e.textContent = staticText(w);
          const wrap = duToPixels(w.du, v.units).h >= 2 * v.units.y;
          e.classList.toggle('wrap', wrap);
          e.classList.toggle('center', w.center);
          if (wrap) shrinkToFit(e, v.units.pixels);
          else e.style.fontSize = `${pixels}px`;
          break;
        }
        case 'group':
          e.querySelector('.label').textContent = withoutPrefix(w.text);
          e.querySelector('.label').hidden = !w.text;
          e.classList.toggle('titled', !!w.text);
          break;
        case 'button':
          e.textContent = withoutPrefix(w.text);
          break;
        case 'edit': {
          const sent = pending.get(w.h);
          const mine = document.activeElement === e && sent && sent.has(w.text);
          if (!mine && e.value !== w.text) e.value = w.text;
          if (mine) sent.delete(w.text);
          break;
        }
      }
    }
    if (w.kind === 'combo' && (!same('items') || !same('sel'))) {
      if (!same('items')) {
        e.replaceChildren(...w.items.map((item) => el('option', '', item)));
      }
      e.selectedIndex = w.sel;
    }
    if (w.kind === 'progress' && (!old || old.pos !== w.pos || old.low !== w.low || old.high !== w.high)) {
      const lo = Math.min(w.low, w.high), hi = Math.max(w.low, w.high);
      const fraction = hi > lo ? (Math.min(Math.max(w.pos, lo), hi) - lo) / (hi - lo) : 0;
      e.firstChild.style.width = `${(fraction * 100).toFixed(2)}%`;
      e.setAttribute('aria-valuemin', lo);
      e.setAttribute('aria-valuemax', hi);
      e.setAttribute('aria-valuenow', w.pos);
    }
    e.hidden = !w.visible;
    v.w = w;
  }

  // --------------------------------------------------------------- frames
  function makeFrame(title, onClose) {
    const frame = el('div', 'frame');
    const caption = el('div', 'caption');
    const t = el('span', 'title', title);
    caption.appendChild(t);
    if (onClose) {
      const close = el('button', '', '\u00d7');
      close.type = 'button';
      close.tabIndex = -1;
      close.title = 'Close';
      close.addEventListener('click', onClose);
      caption.appendChild(close);
    }
    frame.appendChild(caption);
    return {frame, title: t};
  }

  function makeSheet(w) {
    const {frame, title} = makeFrame(w.text, () => act({op: 'sheet', button: 'cancel'}));
    frame.classList.add('sheet');
    const tabs = el('div', 'tabs');
    tabs.setAttribute('role', 'tablist');
    // Left and Right move along the tab strip, as on a tab bar of Qt; Tab
    // leaves it from the current tab.
    tabs.addEventListener('keydown', (ev) => {
      const step = {ArrowRight: 1, ArrowLeft: -1}[ev.key];
      const v = views.get(w.h);
      if (!step || !v || !v.w) return;
      ev.preventDefault();
      const index = Math.max(0, Math.min(v.w.pages.length - 1, v.w.current + step));
      if (index !== v.w.current) act({op: 'tab', index});
    });
    const pages = el('div', 'pages');
    const buttons = el('div', 'sheet-buttons');
    for (const [name, label] of [['ok', 'OK'], ['cancel', 'Cancel']]) {
      const b = el('button', '', label);
      b.type = 'button';
      b.id = `sheet-${name}`;
      b.addEventListener('click', () => act({op: 'sheet', button: name}));
      buttons.appendChild(b);
    }
    frame.append(tabs, pages, buttons);
    frame.dataset.h = w.h;
    $('desktop').appendChild(frame);
    return {w: null, el: frame, client: pages, title, tabs};
  }

  function updateSheet(v, w) {
    v.title.textContent = w.text;
    let width = 0, height = 0;
    w.pages.forEach((p, i) => {
      let tab = v.tabs.children[i];
      if (!tab) {
        tab = el('button');
        tab.type = 'button';
        tab.setAttribute('role', 'tab');
        tab.addEventListener('click', () => act({op: 'tab', index: i}));
        v.tabs.appendChild(tab);
      }
      tab.textContent = p.template ? p.template.caption : '';
      tab.setAttribute('aria-selected', String(i === w.current));
      tab.tabIndex = i === w.current ? 0 : -1;
      const size = templateSize(p.template);
      width = Math.max(width, size.w);
      height = Math.max(height, size.h);
    });
    v.client.style.width = `${width + 4}px`;
    v.client.style.height = `${height + 4}px`;
    v.el.hidden = !w.visible;
    v.w = w;
  }

  function makeDialog(w) {
    const tmpl = w.template;
    const parent = views.get(w.parent);
    if (parent && parent.w && parent.w.kind === 'sheet') {
      // A page: centred in the sheet's page area.
      const page = el('div', 'dialog dialog-client');
      const size = templateSize(tmpl);
      page.style.width = `${size.w}px`;
      page.style.height = `${size.h}px`;
      page.dataset.h = w.h;
      page.dataset.template = tmpl ? tmpl.id : '';
      parent.client.appendChild(page);
      return {w: null, el: page, client: page, tmpl, page: true, sheet: parent};
    }
    // A dialog box: its own frame, above the sheet.
    const {frame, title} = makeFrame(w.text, () => act({op: 'close', h: w.h, id: IDCANCEL}));
    frame.classList.add('floating', 'dialog-box');
    const client = el('div', 'dialog-client');
    const size = templateSize(tmpl);
    client.style.width = `${size.w}px`;
    client.style.height = `${size.h}px`;
    frame.appendChild(client);
    if (w.caption_ok) {
      // Windows CE puts this OK in the caption; here it sits below.
      const row = el('div', 'caption-ok-row');
      const ok = el('button', '', 'OK');
      ok.type = 'button';
      ok.className = 'caption-ok';
      ok.style.minWidth = '76px';
      ok.addEventListener('click', () => act({op: 'close', h: w.h, id: IDOK}));
      row.appendChild(ok);
      frame.appendChild(row);
    }
    frame.dataset.h = w.h;
    $('desktop').appendChild(frame);
    return {w: null, el: frame, client, tmpl, title, page: false};
  }

  function updateDialog(v, w) {
    if (v.page) {
      const room = {w: parseInt(v.sheet.client.style.width, 10) || 0, h: parseInt(v.sheet.client.style.height, 10) || 0};
      const size = templateSize(v.tmpl);
      v.el.style.left = `${Math.max(0, Math.floor((room.w - size.w) / 2))}px`;
      v.el.style.top = `${Math.max(0, Math.floor((room.h - size.h) / 2))}px`;
    } else {
      v.title.textContent = w.text;
    }
    v.el.hidden = !w.visible;
    v.w = w;
  }

  function makeMainWindow(w) {
    const {frame, title} = makeFrame(w.text, null);
    frame.classList.add('main-window');
    const painted = el('div', 'painted');
    frame.appendChild(painted);
    $('desktop').prepend(frame);
    return {w: null, el: frame, client: null, title, painted};
  }

  function updateMainWindow(v, w) {
    v.title.textContent = w.text;
    v.painted.textContent = w.painted || '';
    v.el.hidden = !w.visible;
    v.w = w;
  }

  // ------------------------------------------------------------- the model
  function upsert(w) {
    let v = views.get(w.h);
    if (!v) {
      if (w.kind === 'commandbar') return;
      if (w.kind === 'sheet') v = makeSheet(w);
      else if (w.kind === 'dialog') v = makeDialog(w);
      else if (w.kind === 'window' && !w.parent) v = makeMainWindow(w);
      else {
        const parent = views.get(w.parent);
        if (!parent || !parent.client || !parent.tmpl) return;
        v = makeControl(w, parent);
      }
      v.kind = w.kind;
      views.set(w.h, v);
    }
    if (w.kind === 'sheet') updateSheet(v, w);
    else if (w.kind === 'dialog') updateDialog(v, w);
    else if (w.kind === 'window') updateMainWindow(v, w);
    else updateControl(v, w);
  }

  function render(s) {
    state = s;
    const inTabs = !!(document.activeElement && document.activeElement.closest('.tabs'));
    const live = new Set(s.windows.map((w) => w.h));
    for (const [h, v] of views) {
      if (!live.has(h)) {
        v.el.remove();
        views.delete(h);
        pending.delete(h);
      }
    }
    for (const w of s.windows) upsert(w);
    renderBox(s.box);
    renderFile(s.file);
    renderViewer(s.viewer);
    setBusy(s.busy);

    // Whatever is modal keeps the keyboard to itself.
    const modal = !$('overlay').hidden;
    const active = views.get(s.active);
    $('desktop').inert = modal || stalled;
    for (const v of views.values()) {
      if (v.kind === 'sheet') v.el.inert = !!(active && !active.page && active.el.isConnected);
    }
    if (!modal && active && shownPage !== s.active && (!active.page || active.w.visible)) {
      shownPage = s.active;
      // A page chosen from the tab strip leaves the focus on its tab.
      const tab = inTabs && active.page && active.sheet.tabs.querySelector('[aria-selected="true"]');
      if (tab) tab.focus();
      else focusFirst(active.el);
    }
    // Once a box or dialog has gone, the focus goes back where it was, as
    // in a modal window.
    const lost = !document.activeElement || document.activeElement === document.body;
    if (!modal && focusBack && lost && focusBack.isConnected) focusBack.focus();
    if (!modal) focusBack = null;
  }

  // What takes the keyboard, in the order Tab goes.
  function focusables(container) {
    return [...container.querySelectorAll('button, input, select, textarea, a[href], [tabindex="0"]')].filter(
      (e) => e.tabIndex >= 0 && !e.disabled && !e.hidden && e.offsetParent !== null);
  }

  function focusFirst(container) {
    const first = focusables(container)[0];
    if (first) first.focus();
  }

  // The window in front, which keeps the keyboard as a modal window does: the
  // newest of the boxes and dialogs above the sheet, else a dialog box of
  // the program.
  function front() {
    const overlay = $('overlay');
    if (!overlay.hidden && overlay.lastElementChild) return overlay.lastElementChild;
    const active = state && views.get(state.active);
    return active && !active.page && active.el.isConnected ? active.el : null;
  }

  // Shown once the program has been busy for a moment (states come faster
  // than that while it works: the first one starts the clock).
  function setBusy(busy) {
    if (!busy) {
      clearTimeout(busyTimer);
      busyTimer = 0;
      if (document.body.classList.contains('busy')) showBusy(false);
    } else if (!busyTimer && !document.body.classList.contains('busy')) {
      busyTimer = setTimeout(() => {
        busyTimer = 0;
        showBusy(true);
      }, BUSY_SHOWN_AFTER_MS);
    }
  }

  // The sheet greyed with a note while the program works (it takes no input
  // then) or the link is stalled.
  function showBusy(busy) {
    document.body.classList.toggle('busy', busy);
    const note = stalled ? 'The utility does not answer: the link is stalled. Nothing you do is sent until it answers.'
      : busy ? 'The utility is working. It takes no input until this is done.' : '';
    $('note').textContent = note;
    $('note').hidden = !note;
  }

  // ---------------------------------------------------------- message box
  // The server says which icon, buttons and answers a box has; the page
  // only draws them. `answer` sends the operator's answer.
  const BOX_GLYPHS = {stop: '\u00d7', question: '?', exclamation: '!', information: 'i'};

  function makeBox(box, answer) {
    const {frame} = makeFrame(box.caption, null);
    frame.classList.add('floating', 'box');
    frame.setAttribute('role', 'alertdialog');
    frame.setAttribute('aria-label', box.caption);
    frame.setAttribute('aria-modal', 'true');
    const body = el('div', 'box-body');
    if (box.icon) body.appendChild(el('div', `icon ${box.icon}`, BOX_GLYPHS[box.icon] || ''));
    body.appendChild(el('div', 'box-text', box.text));
    const buttons = el('div', 'box-buttons');
    const answered = (a) => {
      for (const b of buttons.children) b.disabled = true;
      answer(a);
    };
    for (const {answer: a, label} of box.buttons) {
      const b = el('button', '', label);
      b.type = 'button';
      b.dataset.answer = a;
      b.addEventListener('click', () => answered(a));
      buttons.appendChild(b);
    }
    frame.append(body, buttons);
    frame.escape = () => answered(box.escape);
    $('overlay').appendChild(frame);
    return {seq: box.seq, el: frame, focus: buttons.children[box.default] || buttons.firstChild};
  }

  function renderBox(box) {
    if (boxView && (!box || box.seq !== boxView.seq)) {
      boxView.el.remove();
      focusBack = boxView.before;
      boxView = null;
    }
    if (!box || boxView) return updateOverlay();
    const before = document.activeElement;
    boxView = makeBox(box, (a) => send({op: 'box', seq: box.seq, answer: a}));
    boxView.before = before;
    updateOverlay();
    boxView.focus.focus();
  }

  function updateOverlay() { $('overlay').hidden = !boxView && !fileView && !viewerView; }

  // --------------------------------------------------- the viewer's text
  // What the registry viewer wrote, in a read-only box: scrolled, selected,
  // downloaded as the file it is.
  function renderViewer(viewer) {
    if (viewerView && (!viewer || viewer.seq !== viewerView.seq)) {
      URL.revokeObjectURL(viewerView.url);
      viewerView.el.remove();
      viewerView = null;
    }
    if (!viewer || viewerView || viewer.seq === closedViewer) return updateOverlay();
    const close = () => {
      closedViewer = viewer.seq;
      send({op: 'viewer', seq: viewer.seq, do: 'close'});
      renderViewer(null);
      if (state && views.get(state.active)) focusFirst(views.get(state.active).el);
    };
    const {frame} = makeFrame(`Registry: ${viewer.path}`, close);
    frame.classList.add('floating', 'viewer');
    frame.setAttribute('role', 'dialog');
    frame.setAttribute('aria-label', `Registry: ${viewer.path}`);
    frame.setAttribute('aria-modal', 'true');
    const text = el('textarea', 'viewer-text');
    text.readOnly = true;
    text.spellcheck = false;
    text.wrap = 'off';
    text.value = viewer.text;
    text.setAttribute('aria-label', viewer.name);
    const url = URL.createObjectURL(new Blob([viewer.text], {type: 'text/plain'}));
    const buttons = el('div', 'box-buttons');
    const download = el('a', 'button', 'Download');
    download.id = 'viewer-download';
    download.href = url;
    download.download = viewer.name;
    const shut = el('button', '', 'Close');
    shut.type = 'button';
    shut.id = 'viewer-close';
    shut.addEventListener('click', close);
    buttons.append(download, shut);
    frame.append(text, buttons);
    frame.escape = close;
    $('overlay').appendChild(frame);
    viewerView = {seq: viewer.seq, el: frame, url};
    updateOverlay();
    text.focus();
    text.setSelectionRange(0, 0);
    text.scrollTop = 0;
  }

  // ------------------------------------------------------ open-file dialog
  function joinPath(folder, name) { return folder === '\\' ? `\\${name}` : `${folder}\\${name}`; }

  function renderFile(file) {
    if (fileView && (!file || file.seq !== fileView.seq)) {
      fileView.el.remove();
      focusBack = fileView.before;
      fileView = null;
    }
    renderAsk(file && file.ask, file);
    if (!file) return updateOverlay();
    const made = !fileView;
    const before = document.activeElement;
    if (made) {
      fileView = makeFileDialog(file);
      fileView.before = before;
    }
    updateFileDialog(fileView, file);
    updateOverlay();
    if (made) fileView.name.focus();
    // Above the dialog (moved only when it is not: a move takes its focus),
    // which takes nothing while the box asks.
    if (askView && $('overlay').lastElementChild !== askView.el) $('overlay').appendChild(askView.el);
    fileView.el.inert = !!askView;
  }

  // The box that asks before an upload replaces a file of the same name.
  function renderAsk(ask, file) {
    if (askView && (!ask || ask.seq !== askView.seq || file.seq !== askView.file)) {
      // The focus was on its buttons (or nowhere, once they were disabled).
      const had = !document.activeElement || document.activeElement === document.body ||
        askView.el.contains(document.activeElement);
      askView.el.remove();
      askView = null;
      if (fileView) fileView.el.inert = false;
      if (had && fileView) fileView.name.focus();
    }
    if (!ask || askView) return;
    askView = makeBox(ask, (a) => send({op: 'file', seq: file.seq, do: 'replace', ask: ask.seq, answer: a}));
    askView.file = file.seq;
    askView.focus.focus();
  }

  function makeFileDialog(file) {
    const fileAct = (what, extra) => send(Object.assign({op: 'file', seq: file.seq, do: what}, extra || {}));
    const {frame} = makeFrame('Open', () => fileAct('cancel'));
    frame.classList.add('floating', 'file');
    frame.setAttribute('role', 'dialog');
    frame.setAttribute('aria-label', 'Open');
    frame.setAttribute('aria-modal', 'true');
    const body = el('div', 'file-body');
    const where = el('div', 'file-where');
    const up = el('button', '', 'Up');
    up.type = 'button';
    up.id = 'file-up';
    up.addEventListener('click', () => fileAct('up'));
    const list = el('ul', 'file-list');
    list.setAttribute('role', 'listbox');
    list.tabIndex = 0;
    const nameLabel = el('label', '', 'Name:');
    const name = el('input');
    name.id = 'file-name';
    name.type = 'text';
    name.spellcheck = false;
    name.autocomplete = 'off';
    nameLabel.htmlFor = 'file-name';
    const typeLabel = el('label', '', 'Type:');
    const type = el('select');
    type.id = 'file-type';
    typeLabel.htmlFor = 'file-type';
    const message = el('div', 'file-message');
    message.setAttribute('role', 'status');
    const uploadRow = el('div', 'file-upload');
    const upload = el('button', '', 'Upload\u2026');
    upload.type = 'button';
    upload.id = 'file-upload';
    const picker = el('input');
    picker.type = 'file';
    picker.hidden = true;
    picker.id = 'file-picker';
    const progress = el('progress');
    progress.hidden = true;
    uploadRow.append(upload, picker, progress);
    body.append(where, up, list, nameLabel, name, typeLabel, type, uploadRow, message);
    const buttons = el('div', 'file-buttons');
    const open = el('button', '', 'Open');
    open.type = 'button';
    open.id = 'file-open';
    const cancel = el('button', '', 'Cancel');
    cancel.type = 'button';
    cancel.id = 'file-cancel';
    buttons.append(open, cancel);
    frame.append(body, buttons);

    const view = {seq: file.seq, el: frame, where, up, list, name, type, message, upload, picker, progress, file,
                  uploading: false, localMessage: ''};
    open.addEventListener('click', () => fileAct('choose', {name: name.value}));
    cancel.addEventListener('click', () => fileAct('cancel'));
    name.addEventListener('keydown', (ev) => {
      if (ev.key === 'Enter') { ev.preventDefault(); fileAct('choose', {name: name.value}); }
    });
    frame.escape = () => fileAct('cancel');
    list.addEventListener('click', (ev) => {
      const item = ev.target.closest('li');
      if (!item) return;
      if (item.dataset.folder === '1') fileAct('open', {path: joinPath(view.file.folder, item.dataset.name)});
      else {
        name.value = item.dataset.name;
        for (const li of list.children) li.classList.toggle('selected', li === item);
      }
    });
    list.addEventListener('dblclick', (ev) => {
      const item = ev.target.closest('li');
      if (item && item.dataset.folder !== '1') fileAct('choose', {name: item.dataset.name});
    });
    list.addEventListener('keydown', (ev) => {
      const items = [...list.children];
      let i = items.findIndex((li) => li.classList.contains('selected'));
      if (ev.key === 'ArrowDown' || ev.key === 'ArrowUp') {
        ev.preventDefault();
        i = Math.max(0, Math.min(items.length - 1, i + (ev.key === 'ArrowDown' ? 1 : -1)));
        items.forEach((li, k) => li.classList.toggle('selected', k === i));
        if (items[i]) {
          items[i].scrollIntoView({block: 'nearest'});
          if (items[i].dataset.folder !== '1') name.value = items[i].dataset.name;
        }
      } else if (ev.key === 'Enter' && items[i]) {
        ev.preventDefault();
        if (items[i].dataset.folder === '1') fileAct('open', {path: joinPath(view.file.folder, items[i].dataset.name)});
        else fileAct('choose', {name: items[i].dataset.name});
      }
    });
    upload.addEventListener('click', () => picker.click());
    picker.addEventListener('change', () => {
      if (picker.files.length) startUpload(view, picker.files[0]);
      picker.value = '';
    });
    $('overlay').appendChild(frame);
    return view;
  }

  function updateFileDialog(view, file) {
    const old = view.file;
    view.file = file;
    view.where.textContent = `Look in: ${file.folder || '\\'}`;
    view.up.disabled = !file.folder || file.folder === '\\';
    if (!old || old === file || JSON.stringify(old.entries) !== JSON.stringify(file.entries) || old.folder !== file.folder) {
      view.list.replaceChildren(...file.entries.map((e) => {
        const li = el('li', e.folder ? 'folder' : 'file', e.name);
        li.dataset.name = e.name;
        li.dataset.folder = e.folder ? '1' : '0';
        li.setAttribute('role', 'option');
        return li;
      }));
    }
    if (!old || old === file || old.name !== file.name) view.name.value = file.name;
    if (!view.type.options.length) view.type.appendChild(el('option', '', file.filter));
    const text = file.error || file.notice || view.localMessage;
    view.message.textContent = text;
    view.message.classList.toggle('error', !!file.error || (!file.notice && !!view.localMessage && view.localError));
    view.upload.disabled = view.uploading || !file.folder;
  }

  // Streams a file into the folder shown; the server refuses one larger
  // than the image area or the free space, and names it only once whole.
  function startUpload(view, f) {
    const file = view.file;
    const local = (text, error) => {
      view.localMessage = text;
      view.localError = error;
      view.message.textContent = text;
      view.message.classList.toggle('error', error);
    };
    if (f.size > file.limit) {
      local(`${f.name} (${f.size} bytes) is larger than the image area (${file.limit} bytes).`, true);
      return;
    }
    const target = `/upload?folder=${encodeURIComponent(file.folder)}&name=${encodeURIComponent(f.name)}` +
      `&dialog=${file.seq}`;
    const xhr = new XMLHttpRequest();
    xhr.open('POST', target);
    xhr.setRequestHeader('Content-Type', 'application/octet-stream');
    view.uploading = true;
    view.upload.disabled = true;
    view.progress.hidden = false;
    view.progress.max = f.size || 1;
    view.progress.value = 0;
    local(`Uploading ${f.name}\u2026`, false);
    xhr.upload.addEventListener('progress', (ev) => { view.progress.value = ev.loaded; });
    xhr.addEventListener('loadend', () => {
      view.uploading = false;
      view.progress.hidden = true;
      let reply = {};
      try { reply = JSON.parse(xhr.responseText || '{}'); } catch (e) { reply = {}; }
      if (xhr.status === 200) local('', false);
      else local(reply.message || `The upload failed (${xhr.status || 'no answer'}).`, true);
      if (fileView === view) updateFileDialog(view, view.file);
    });
    xhr.send(f);
  }

  // ------------------------------------------------------------- keyboard
  // Tab and Shift+Tab go round the window in front and never leave it, as
  // in a modal window; Esc is its Cancel (a box's Esc answer, the open-file
  // dialog's and the viewer's Cancel, a dialog box's close box, the sheet's
  // Cancel).
  document.addEventListener('keydown', (ev) => {
    if (!state || stalled || !$('login').hidden || !$('notice').hidden) return;
    const f = front();
    if (ev.key === 'Tab' && f) {
      const ring = focusables(f);
      const i = ring.indexOf(document.activeElement);
      if (!ring.length) {
        ev.preventDefault();
      } else if (ev.shiftKey && i <= 0) {
        ev.preventDefault();
        ring[ring.length - 1].focus();
      } else if (!ev.shiftKey && (i < 0 || i === ring.length - 1)) {
        ev.preventDefault();
        ring[0].focus();
      }
      return;
    }
    if (ev.key !== 'Escape') return;
    ev.preventDefault();
    if (f && f.escape) return f.escape();
    const active = views.get(state.active);
    if (!active) return;
    if (!active.page) act({op: 'close', h: state.active, id: IDCANCEL});
    else act({op: 'sheet', button: 'cancel'});
  }, true);

  // A click beside the window in front (or on the page's bar) never takes
  // the keyboard from it.
  document.addEventListener('focusin', (ev) => {
    const f = front();
    if (f && !f.contains(ev.target) && !$('bar').contains(ev.target)) focusFirst(f);
  });

  // ------------------------------------------------------ session and link
  function showPanel(id) {
    for (const p of ['login', 'notice']) $(p).hidden = p !== id;
  }

  function notice(title, text, offerLogin) {
    $('notice-title').textContent = title;
    $('notice-text').textContent = text;
    $('notice-login').hidden = !offerLogin;
    showPanel('notice');
  }

  function clearDesktop() {
    views.clear();
    pending.clear();
    $('desktop').replaceChildren();
    $('overlay').replaceChildren();
    if (viewerView) URL.revokeObjectURL(viewerView.url);
    boxView = fileView = askView = viewerView = null;
    updateOverlay();
    $('logout').hidden = true;
    setStalled(false);
    setBusy(false);
  }

  function linkState(text) { $('link-state').textContent = text; }

  // A ping each second; any message from the server answers. Without an
  // answer for STALL_AFTER_MS the link is stalled: the sheet is greyed and
  // takes no input until the server answers again.
  function beat() {
    if (!socket || socket.readyState !== WebSocket.OPEN) return;
    const now = performance.now();
    if (now - lastPing >= PING_EVERY_MS) {
      lastPing = now;
      socket.send(JSON.stringify({op: 'ping', n: ++pings, t: now}));
      if (!unanswered) unanswered = now;
    }
    if (unanswered && now - unanswered > STALL_AFTER_MS) setStalled(true);
  }

  function setStalled(on) {
    if (stalled === on) return;
    stalled = on;
    document.body.classList.toggle('stalled', on);
    $('desktop').inert = on || !$('overlay').hidden;
    $('overlay').inert = on;
    if (socket) linkState(on ? 'no answer: the link is stalled' : `connected to ${location.host}`);
    showBusy(document.body.classList.contains('busy'));
  }

  function connect() {
    showPanel(null);
    linkState('connecting\u2026');
    socket = new WebSocket(`wss://${location.host}/ws`);
    socket.addEventListener('open', () => {
      reconnects = 0;
      linkState(`connected to ${location.host}`);
      $('logout').hidden = false;
      lastPing = unanswered = 0;
      clearInterval(beatTimer);
      beatTimer = setInterval(beat, 250);
    });
    socket.addEventListener('message', (ev) => {
      unanswered = 0;
      setStalled(false);
      let m;
      try { m = JSON.parse(ev.data); } catch (e) { return; }
      if (m.type === 'state') render(m);
      else if (m.type === 'ended') finish(m);
      else if (m.type === 'session') sessionOver(m.reason);
      else if (m.type === 'dropped') dropped(m.message);
    });
    socket.addEventListener('close', () => {
      socket = null;
      clearInterval(beatTimer);
      setStalled(false);
      if (ended) return;
      linkState('connection lost; reconnecting\u2026');
      if (reconnects++ < 30) setTimeout(resume, 1000);
      else gone();
    });
  }

  // Input the busy utility had no room for: said in the link line a while.
  function dropped(text) {
    linkState(text);
    setTimeout(() => { if (socket && !stalled) linkState(`connected to ${location.host}`); }, 5000);
  }

  function finish(m) {
    ended = true;
    clearDesktop();
    linkState('');
    const how = m.reason === 'reboot' ? 'The controller is restarting; the utility has ended.'
      : m.reason === 'signal' ? `The utility was ended on the controller (${m.signal}). ` +
        'Start it again on the controller to go on.'
      : 'The utility has ended. Start it again on the controller to go on.';
    notice('Orva_Utility has ended', how, false);
    document.title = 'Orva_Utility (ended)';
  }

  function gone() {
    ended = true;
    clearDesktop();
    linkState('');
    notice('Orva_Utility cannot be reached', 'The utility does not answer: it has ended, or the network is down.', false);
  }

  function sessionOver(reason) {
    ended = true;
    clearDesktop();
    linkState('');
    const text = {
      logout: 'You logged out.',
      idle: 'Your session ended after 15 minutes without input.',
      replaced: 'The utility was opened in another tab of this browser.',
    }[reason] || 'Your session has ended.';
    notice('Session ended', text, true);
  }

  async function resume() {
    let s;
    try {
      const r = await fetch('/session', {cache: 'no-store'});
      s = await r.json();
    } catch (e) {
      if (reconnects++ < 30) setTimeout(resume, 1000);
      else gone();
      return;
    }
    if (s.session === 'yours') connect();
    else if (s.session === 'in-use') inUse();
    else {
      clearDesktop();
      showLogin('');
    }
  }

  function inUse() {
    clearDesktop();
    notice('Orva_Utility is in use',
      'Another operator is using the utility on this controller. Their session ends when they log out, ' +
      'or after 15 minutes without input.', true);
  }

  function showLogin(error) {
    showPanel('login');
    $('login-error').textContent = error;
    $('token').focus();
  }

  async function login(token) {
    let r;
    try {
      r = await fetch('/login', {method: 'POST', headers: {'Content-Type': 'application/json'},
                                 body: JSON.stringify({token}), cache: 'no-store'});
    } catch (e) {
      return gone();
    }
    let reply = {};
    try { reply = await r.json(); } catch (e) { reply = {}; }
    if (r.ok) {
      ended = false;
      reconnects = 0;
      connect();
    } else if (r.status === 409) {
      inUse();
    } else {
      showLogin(reply.message || `Logging in failed (${r.status}).`);
    }
  }

  $('login-form').addEventListener('submit', (ev) => {
    ev.preventDefault();
    login($('token').value.trim());
  });
  $('notice-login').addEventListener('click', () => { ended = false; resume(); });
  $('logout').addEventListener('click', async () => {
    try {
      await fetch('/logout', {method: 'POST', cache: 'no-store'});
    } catch (e) { /* the socket's close says the rest */ }
    sessionOver('logout');
  });

  // The token is taken out of the address at once, then exchanged for the
  // session cookie; the page never keeps it.
  const params = new URLSearchParams(location.search);
  const token = params.get('token');
  if (token !== null) {
    history.replaceState(null, '', '/');
    login(token);
  } else {
    resume();
  }
})();
