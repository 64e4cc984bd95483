// The browser side of the client: shows the windows the C++ side describes
// and sends the user's input and the pages' geometry back. Every window is a
// positioned element: the main window fills the page, child windows and
// dialogs are iframes whose documents the C++ engine owns.
(() => {
  'use strict';
  // The run's key: in the page once, then only here and in the worker, and
  // sent with every request to the client, to no other address. The code
  // that opened the page is spent; it leaves the address bar.
  const keyMeta = document.querySelector('meta[name="kalimor-key"]');
  const runKey = keyMeta ? keyMeta.content : '';
  if (keyMeta) keyMeta.remove();
  if (location.search) history.replaceState(null, '', '/');
  const keyHeaders = (headers = {}) => ({ ...headers, 'X-Kalimor-Key': runKey });
  const keyParam = 'key=' + encodeURIComponent(runKey);
  const frameHost = document.getElementById('kalimor-frame');
  const dialogHost = document.getElementById('kalimor-dialogs');
  // Laid over everything while the client works (a search): the wait cursor.
  const waitCover = document.createElement('div');
  waitCover.id = 'kalimor-wait';
  document.body.appendChild(waitCover);
  // What the page shows while the client has no window on it: in the tray,
  // with a way to open it, or ended.
  const tray = document.createElement('div');
  tray.id = 'kalimor-tray';
  tray.setAttribute('role', 'status');
  const trayText = document.createElement('p');
  trayText.textContent = 'Калимор работает в фоновом режиме';
  const openButton = document.createElement('button');
  openButton.id = 'kalimor-open';
  openButton.type = 'button';
  openButton.textContent = 'Открыть окно';
  openButton.addEventListener('click', () => send({ type: 'open' }));
  tray.append(trayText, openButton);
  document.body.appendChild(tray);

  const wins = new Map(); // id -> { op, el, doc, pending, measured, lastGeom, z, backdrop }
  let dialogLayer = 0; // dialogs made later lie above the earlier ones
  const stats = { sent: 0, applied: 0, batches: 0, painted: false };
  window.__kalimor = stats;

  // Events go out one batch at a time so the server sees them in order.
  let queue = [];
  let inFlight = false;
  function send(event) {
    queue.push(event);
    stats.sent = performance.now();
    pump();
  }
  function pump() {
    if (inFlight || queue.length === 0) return;
    const batch = queue;
    queue = [];
    inFlight = true;
    fetch('/event', { method: 'POST', body: JSON.stringify(batch),
      headers: keyHeaders({ 'Content-Type': 'application/json' }) })
      .catch(() => {})
      .finally(() => { inFlight = false; pump(); });
  }

  function uidOf(node) {
    const el = node && node.nodeType === 1 ? node : node && node.parentElement;
    const owner = el && el.closest ? el.closest('[data-uid]') : null;
    return owner ? Number(owner.getAttribute('data-uid')) : 0;
  }

  function buttonBit(button) { return button === 2 ? 2 : button === 1 ? 4 : 1; }
  const modsOf = (e) => (e.ctrlKey ? 1 : 0) | (e.shiftKey ? 2 : 0) | (e.altKey ? 4 : 0);
  const isTyping = (t) => !!t && (t.tagName === 'INPUT' || t.tagName === 'TEXTAREA' || t.isContentEditable);
  // Keys the client takes for itself in every window (Ctrl+F and "/" to the
  // search box, F3 between the words found), from the client's own table:
  // the browser's own use of them (its find bar) would hide what the client
  // shows. A key named by its character matches it on any layout.
  const shortcutsMeta = document.querySelector('meta[name="kalimor-shortcuts"]');
  let shortcuts = [];
  try {
    shortcuts = JSON.parse(shortcutsMeta ? shortcutsMeta.content : '[]');
  } catch (e) {
    shortcuts = [];
  }
  function isClientShortcut(e, typing) {
    return shortcuts.some((s) => (s.code ? e.keyCode === s.code : e.key === s.key) &&
      e.ctrlKey === s.ctrl && e.altKey === s.alt && (!s.shift || e.shiftKey) && (s.typing || !typing));
  }
  // The character a key makes, for the shortcuts known by it.
  const charOf = (e) => (e.key && e.key.length === 1 ? e.key : '');

  function hookDocument(id, doc) {
    const win = () => wins.get(id);
    const mouse = (code) => (e) => {
      send({ type: 'mouse', win: id, uid: uidOf(e.target), code, buttons: buttonBit(e.button),
        x: Math.round(e.clientX), y: Math.round(e.clientY) });
    };
    doc.addEventListener('mousedown', (e) => {
      const w = win();
      if (w && w.op.kind === 'dialog' && w.op.drag > 0 && e.clientY < w.op.drag && e.button === 0) {
        startDrag(w, e);
      }
      mouse(4)(e);
    });
    doc.addEventListener('mouseup', mouse(3));
    doc.addEventListener('dblclick', mouse(5));
    doc.addEventListener('mouseover', (e) => send({ type: 'mouse', win: id, uid: uidOf(e.target), code: 0 }));
    // The engine works out which elements were entered and left from the
    // element under the cursor; it hears of leaving only when the cursor
    // leaves the window.
    doc.addEventListener('mouseout', (e) => { if (!e.relatedTarget) send({ type: 'mouse', win: id, uid: 0, code: 1 }); });
    doc.addEventListener('wheel', (e) => send({ type: 'mouse', win: id, uid: uidOf(e.target), code: 6,
      wheel: Math.sign(e.deltaY) }), { passive: true });
    doc.addEventListener('click', (e) => {
      const link = e.target.closest && e.target.closest('a');
      if (link) e.preventDefault(); // links are the C++ side's business
    });
    doc.addEventListener('contextmenu', (e) => e.preventDefault());
    doc.addEventListener('keydown', (e) => {
      const t = e.target;
      const typing = isTyping(t);
      if (win()) keepTabInside(win(), e);
      if (win()) wrapTab(win().el, doc, e);
      if (e.keyCode === 32 && !typing) e.preventDefault();
      // A tree's or a grid's keys move between its rows or cells (the client
      // does), never scroll.
      if (t && t.getAttribute && ['treeitem', 'gridcell'].includes(t.getAttribute('role')) &&
          ['ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight', 'Home', 'End'].includes(e.key)) e.preventDefault();
      if (isClientShortcut(e, typing)) e.preventDefault();
      send({ type: 'key', win: id, uid: uidOf(t), code: 0, key: e.keyCode, mods: modsOf(e), typing, ch: charOf(e) });
    });
    doc.addEventListener('input', (e) => {
      send({ type: 'input', win: id, uid: uidOf(e.target), value: e.target.value });
    });
    doc.addEventListener('focusin', (e) => send({ type: 'focus', win: id, uid: uidOf(e.target) }));
    // Where the page is scrolled to (throttled to a frame), and whether its
    // end is near: long lists are filled as the user reaches them.
    let scrollScheduled = false;
    doc.addEventListener('scroll', () => {
      if (scrollScheduled) return;
      scrollScheduled = true;
      requestAnimationFrame(() => {
        scrollScheduled = false;
        const el = doc.scrollingElement;
        if (!el) return;
        const nearEnd = el.scrollHeight - el.clientHeight - el.scrollTop < 600 ? 1 : 0;
        send({ type: 'scroll', win: id, top: Math.round(el.scrollTop), nearEnd });
      });
    }, { passive: true });
    const ro = new ResizeObserver(() => reportGeometry(id));
    ro.observe(doc.documentElement);
    if (doc.body) ro.observe(doc.body);
    doc.__kalimorObserver = ro;
  }

  function startDrag(w, e) {
    const startX = e.screenX, startY = e.screenY;
    const left = w.op.x, top = w.op.y;
    const docs = [document, w.doc];
    const move = (m) => {
      w.el.style.left = (left + m.screenX - startX) + 'px';
      w.el.style.top = (top + m.screenY - startY) + 'px';
    };
    const up = (m) => {
      docs.forEach((d) => { d.removeEventListener('mousemove', move); d.removeEventListener('mouseup', up); });
      const x = left + m.screenX - startX, y = top + m.screenY - startY;
      send({ type: 'moved', win: w.op.win, x, y });
    };
    docs.forEach((d) => { d.addEventListener('mousemove', move); d.addEventListener('mouseup', up); });
  }

  let geomScheduled = new Set();
  function reportGeometry(id) {
    if (geomScheduled.has(id)) return;
    geomScheduled.add(id);
    requestAnimationFrame(() => {
      geomScheduled.delete(id);
      const w = wins.get(id);
      // The empty page an iframe starts with has no size worth reporting.
      if (!w || !w.doc || !w.doc.body || !w.hasPage) return;
      const doc = w.doc;
      const root = doc.body.children.length === 1 ? doc.body.firstElementChild : doc.body;
      const r = root.getBoundingClientRect();
      const cw = Math.ceil(Math.max(r.right, root.scrollWidth));
      const ch = Math.ceil(Math.max(r.bottom, r.top + root.scrollHeight));
      const rects = {};
      for (const uid of w.measured) {
        const el = doc.querySelector('[data-uid="' + uid + '"]');
        if (!el) continue;
        const b = el.getBoundingClientRect();
        rects[uid] = [Math.round(b.left), Math.round(b.top), Math.round(b.width), Math.round(b.height)];
      }
      const geom = { type: 'geom', win: id, w: w.el.clientWidth, h: w.el.clientHeight, cw, ch, rects };
      const key = JSON.stringify(geom);
      if (key === w.lastGeom) return;
      w.lastGeom = key;
      send(geom);
    });
  }

  function makeWindow(op) {
    let el;
    const w = { op, el: null, doc: null, pending: [], measured: new Set(), lastGeom: '' };
    if (op.kind === 'frame') {
      el = frameHost;
    } else if (op.src !== undefined && op.src !== '' && !op.html) {
      el = makeDocumentFrame(w);
    } else if (op.html) {
      el = document.createElement('iframe');
      el.src = '/frame';
      el.setAttribute('data-win', op.win);
      el.addEventListener('load', () => {
        w.doc = el.contentDocument;
        hookDocument(op.win, w.doc);
        const pending = w.pending;
        w.pending = [];
        applyDom(op.win, pending);
        notePainted();
      });
    } else {
      el = document.createElement('div');
      el.setAttribute('data-win', op.win);
    }
    w.el = el;
    wins.set(op.win, w);
    return w;
  }

  function containerOf(op) {
    return op.kind === 'dialog' ? dialogHost : frameHost;
  }

  // A child window lies in its parent's client area: its place in the page
  // adds up the places of the child windows around it, and it is shown only
  // when they all are.
  function absolutePlace(op) {
    let x = op.x, y = op.y, visible = op.visible;
    let parent = op.kind === 'child' ? wins.get(op.parent) : null;
    for (let depth = 0; parent && parent.op.kind === 'child' && depth < 32; ++depth) {
      x += parent.op.x;
      y += parent.op.y;
      visible = visible && parent.op.visible;
      parent = wins.get(parent.op.parent);
    }
    return { x, y, visible };
  }

  function place(w) {
    const op = w.op;
    if (op.kind === 'frame') {
      frameHost.classList.toggle('hidden', !op.visible);
      waitCover.classList.toggle('shown', op.cls === 'wait');
      tray.classList.toggle('shown', !op.visible);
      if (op.title) document.title = op.title;
      return;
    }
    const el = w.el;
    let { x, y, visible } = absolutePlace(op);
    let width = op.w, height = op.h;
    if (op.kind === 'dialog') {
      // A dialog larger than the page (a small screen, a large zoom) stays
      // within reach: inside the page, scrolling within itself.
      width = Math.min(width, window.innerWidth);
      height = Math.min(height, window.innerHeight);
      x = Math.max(0, Math.min(x, window.innerWidth - width));
      y = Math.max(0, Math.min(y, window.innerHeight - height));
    }
    el.className = 'k-win' + (op.kind === 'dialog' ? ' k-dialog' : '') + (op.cls ? ' k-' + op.cls : '') +
      (visible ? '' : ' hidden');
    Object.assign(el.style, { left: x + 'px', top: y + 'px', width: width + 'px', height: height + 'px' });
    const host = containerOf(op);
    // An iframe that is moved in the page loads again and loses its
    // document: windows are inserted once and stacked by z-index.
    if (el.parentElement !== host) host.appendChild(el);
    if (w.isDocument) setDocumentSource(w, op.src);
    if (op.kind === 'dialog') {
      if (!w.z) w.z = (dialogLayer += 2);
      el.style.zIndex = w.z;
      if (op.modal && op.visible) {
        if (!w.backdrop) {
          w.backdrop = document.createElement('div');
          w.backdrop.className = 'k-backdrop';
          // A click beside a modal dialog is a click on its frame: the
          // dialog's root element gets it (the image viewer closes then).
          w.backdrop.addEventListener('mousedown', (e) => {
            const code = { type: 'mouse', win: w.op.win, uid: w.rootUid || 0, buttons: buttonBit(e.button), x: -1, y: -1 };
            send({ ...code, code: 4 });
            send({ ...code, code: 3 });
          });
        }
        w.backdrop.style.zIndex = w.z - 1;
        if (!w.backdrop.parentElement) {
          host.appendChild(w.backdrop);
          w.wantsFocus = true; // the keyboard goes to a modal dialog, as it opens
          // A dialog hidden for a while (while another dialog of its own
          // shows) keeps the control it was opened from.
          if (!w.opener) w.opener = focusedControl();
          modalsChanged = true;
        }
      } else if (w.backdrop && w.backdrop.parentElement) {
        w.backdrop.remove();
        closedModal(w, false);
      }
    }
  }

  // ---- Modal dialogs to the keyboard and to assistive technology ----
  // While a modal dialog shows, everything under it (the window's frames,
  // the dialogs it lies over) is inert: out of the Tab order, the
  // accessibility tree and the mouse's reach. When it closes, focus goes
  // back to the control that had it when the dialog opened.
  let modalsChanged = false;
  let focusReturns = [];
  const focusableSelector = 'a[href], button:not([disabled]), input:not([disabled]):not([type="hidden"]), ' +
    'select:not([disabled]), textarea:not([disabled]), [tabindex]:not([tabindex="-1"])';
  const fieldSelector = 'input:not([disabled]):not([type="hidden"]), select:not([disabled]), textarea:not([disabled])';
  const isShown = (el) => !!el && el.getClientRects().length > 0 && getComputedStyle(el).visibility !== 'hidden';
  const focusablesOf = (doc) => [...doc.querySelectorAll(focusableSelector)].filter(isShown);

  // The element that has the keyboard, through the frames that hold it.
  function focusedControl() {
    let frame = null;
    let el = document.activeElement;
    for (let depth = 0; el && el.tagName === 'IFRAME' && depth < 8; ++depth) {
      frame = el;
      let inner = null;
      try { inner = el.contentDocument && el.contentDocument.activeElement; } catch (e) { inner = null; }
      el = inner;
    }
    return frame ? { frame, el } : null;
  }

  function closedModal(w, destroyed) {
    modalsChanged = true;
    if (w.opener) focusReturns.push(w.opener);
    if (destroyed) w.opener = null;
  }

  // A dialog opens with focus on its first field; one without fields on
  // itself (its element of role dialog), so that its name and text are read
  // out while its keys (Enter, Escape) stay the dialog's own.
  function focusFirstControl(doc) {
    if (!doc || (doc.activeElement && doc.activeElement !== doc.body)) return;
    // A page may name what takes the keyboard (the image viewer's picture,
    // which the arrows and page keys then scroll); else the first field.
    const named = [...doc.querySelectorAll('[autofocus]')].find(isShown);
    const field = [...doc.querySelectorAll(fieldSelector)].find(isShown);
    const dialog = doc.querySelector('[role="dialog"], [role="alertdialog"]');
    const target = named || field || dialog;
    if (!target) return;
    if (target === dialog && !dialog.hasAttribute('tabindex')) dialog.setAttribute('tabindex', '-1');
    target.focus();
  }

  // A modal dialog's page says it is modal: its element of role dialog
  // gets aria-modal while the window is modal.
  function markModal(w) {
    const root = w.doc && w.doc.querySelector('[role="dialog"], [role="alertdialog"]');
    if (!root) return;
    if (w.op.modal) root.setAttribute('aria-modal', 'true');
    else root.removeAttribute('aria-modal');
  }

  function topModal() {
    let top = null;
    for (const w of wins.values()) {
      if (w.op.kind === 'dialog' && w.backdrop && w.backdrop.parentElement && (!top || w.z > top.z)) top = w;
    }
    return top;
  }

  function updateModality() {
    if (!modalsChanged) return;
    modalsChanged = false;
    const top = topModal();
    frameHost.inert = !!top;
    tray.inert = !!top;
    for (const w of wins.values()) {
      if (w.op.kind !== 'dialog') continue;
      w.el.inert = !!top && w.z < top.z;
      markModal(w);
    }
    const returns = focusReturns;
    focusReturns = [];
    const back = returns.reverse().find((r) => r.frame.isConnected && !r.frame.closest('[inert]'));
    if (!back) return;
    back.frame.contentWindow.focus();
    if (back.el && back.el.isConnected && back.el.focus) back.el.focus();
  }

  // Tab and Shift+Tab go round inside a modal dialog.
  function keepTabInside(w, e) {
    if (e.key !== 'Tab' || w.op.kind !== 'dialog' || !w.op.modal || !w.doc) return;
    const all = focusablesOf(w.doc);
    if (all.length === 0) {
      e.preventDefault();
      return;
    }
    const at = all.indexOf(w.doc.activeElement);
    if (e.shiftKey && at <= 0) {
      e.preventDefault();
      all[all.length - 1].focus();
    } else if (!e.shiftKey && (at < 0 || at === all.length - 1)) {
      e.preventDefault();
      all[0].focus();
    }
  }

  // Past the window's last control Tab comes round to its first (and
  // Shift+Tab the other way), not onto the page that holds the frames.
  function wrapTab(frame, doc, e) {
    if (e.key !== 'Tab' || e.defaultPrevented || frameHost.inert || frame.closest('#kalimor-dialogs')) return;
    const own = focusablesOf(doc);
    const at = own.indexOf(doc.activeElement);
    if (e.shiftKey ? at > 0 : at !== own.length - 1) return;
    const frames = [...frameHost.querySelectorAll('iframe')].filter((f) => isShown(f) && f.contentDocument);
    const controlsOf = (f) => focusablesOf(f.contentDocument);
    const i = frames.indexOf(frame);
    const beyond = e.shiftKey ? frames.slice(0, Math.max(0, i)) : frames.slice(i + 1);
    if (i < 0 || beyond.some((f) => controlsOf(f).length > 0)) return;
    for (const f of e.shiftKey ? frames.slice().reverse() : frames) {
      const controls = controlsOf(f);
      if (controls.length === 0) continue;
      e.preventDefault();
      f.contentWindow.focus();
      controls[e.shiftKey ? controls.length - 1 : 0].focus();
      return;
    }
  }

  function upsertWindow(op) {
    let w = wins.get(op.win);
    if (!w) w = makeWindow(op);
    w.op = op;
    place(w);
    // The windows inside it move and show with it.
    for (const other of wins.values()) {
      if (other !== w && other.op.kind === 'child' && isInside(other, op.win)) place(other);
    }
  }

  function isInside(w, ancestor) {
    let parent = wins.get(w.op.parent);
    for (let depth = 0; parent && depth < 32; ++depth) {
      if (parent.op.win === ancestor) return true;
      parent = wins.get(parent.op.parent);
    }
    return false;
  }

  function destroyWindow(id) {
    const w = wins.get(id);
    if (!w) return;
    wins.delete(id);
    if (w.backdrop && w.backdrop.parentElement) {
      w.backdrop.remove();
      closedModal(w, true);
    }
    if (w.op.kind !== 'frame') w.el.remove();
  }

  function find(w, uid) { return w.doc.querySelector('[data-uid="' + uid + '"]'); }

  // The page's own attributes of its root element (its language), which
  // writing the root's content leaves out.
  function setRootAttributes(root, attrs) {
    for (const a of Array.from(root.attributes)) if (!(a.name in attrs)) root.removeAttribute(a.name);
    for (const [k, v] of Object.entries(attrs)) root.setAttribute(k, v);
  }

  function applyDom(id, ops) {
    const w = wins.get(id);
    if (!w) return;
    if (!w.doc) {
      // Applied when the iframe has loaded; what a reset restores stays restored.
      w.pending.push(...ops.map((op) => (restoring && op.replay ? { ...op, replay: false } : op)));
      return;
    }
    const doc = w.doc;
    for (const op of ops) {
      switch (op.op) {
        case 'doc':
          if (op.replay && !restoring) break; // the page the bridge keeps for a reload
          doc.documentElement.innerHTML = op.html;
          setRootAttributes(doc.documentElement, op.attrs || {});
          // The frame is named by its page's title, as assistive technology
          // reads it out when focus enters the window.
          if (w.el.tagName === 'IFRAME' && doc.title) w.el.title = doc.title;
          w.rootUid = op.uid;
          w.hasPage = true;
          w.lastGeom = '';
          break;
        case 'html': { const el = find(w, op.uid); if (el) el.innerHTML = op.html; break; }
        case 'append': { const el = find(w, op.uid); if (el) el.insertAdjacentHTML('beforeend', op.html); break; }
        case 'attrs': {
          const el = find(w, op.uid);
          if (!el) break;
          for (const a of Array.from(el.attributes)) {
            if (a.name !== 'data-uid' && !(a.name in op.attrs)) el.removeAttribute(a.name);
          }
          for (const [k, v] of Object.entries(op.attrs)) {
            if (k === 'data-state' && v === '') el.removeAttribute(k);
            else if (el.getAttribute(k) !== v) el.setAttribute(k, v);
          }
          if (el.type === 'checkbox' || el.type === 'radio') el.checked = /\bchecked\b/.test(op.attrs['data-state'] || '');
          break;
        }
        case 'value': {
          // A typed value is what this page already shows; a page that
          // reloaded gets it back.
          const el = find(w, op.uid);
          if (el && el.value !== op.value && (!op.replay || restoring)) el.value = op.value;
          break;
        }
        case 'focus': { const el = find(w, op.uid); if (el) el.focus(); break; }
        case 'scroll': { const el = find(w, op.uid); if (el) el.scrollIntoView({ block: 'nearest' }); break; }
        case 'measure': w.measured.add(op.uid); w.lastGeom = ''; break;
        case 'popup': {
          const el = find(w, op.uid), anchor = find(w, op.anchor);
          if (!el) break;
          const r = anchor ? anchor.getBoundingClientRect() : { left: 0, bottom: 0 };
          Object.assign(el.style, { position: 'fixed', left: r.left + 'px', top: r.bottom + 'px', display: 'block', zIndex: 100 });
          break;
        }
        case 'hidepopup': { const el = find(w, op.uid); if (el) el.style.display = 'none'; break; }
        default: break;
      }
    }
    if (w.op.kind === 'dialog') markModal(w);
    if (w.wantsFocus && w.hasPage) {
      w.wantsFocus = false;
      w.el.contentWindow.focus();
      if (w.op.kind === 'dialog') focusFirstControl(w.doc);
    }
    reportGeometry(id);
  }

  // Content documents: shown by the browser itself in a sandboxed frame (no
  // script of theirs runs); their links, context menu and mouse presses are
  // taken here and handed to the C++ view, which decides.
  function makeDocumentFrame(w) {
    const el = document.createElement('iframe');
    el.setAttribute('sandbox', 'allow-same-origin allow-modals');
    el.setAttribute('title', 'Документ');
    el.setAttribute('data-win', w.op.win);
    w.isDocument = true;
    w.src = '';
    el.addEventListener('load', () => hookContentDocument(w));
    return el;
  }

  const pathOf = (src) => src.replace(/[?#].*$/, '');
  const anchorOf = (src) => { const i = src.indexOf('#'); return i < 0 ? '' : decodeURIComponent(src.slice(i + 1)); };

  function scrollToAnchor(doc, anchor) {
    const target = anchor && (doc.getElementById(anchor) || doc.getElementsByName(anchor)[0]);
    if (target) target.scrollIntoView({ block: 'start' });
    else if (doc.scrollingElement) doc.scrollingElement.scrollTo(0, 0);
  }

  function setDocumentSource(w, src) {
    if (!src || src === w.src) return;
    stats.docRequested = performance.now();
    const previous = w.src;
    w.src = src;
    const doc = w.el.contentDocument;
    if (previous && pathOf(previous) === pathOf(src) && w.loaded && doc) {
      // The same document at another place: no reload.
      scrollToAnchor(doc, anchorOf(src));
      documentShown(w);
      return;
    }
    w.loaded = false;
    if (doc && doc.documentElement && isContentPage(previous) && isContentPage(src) && hooked.has(doc)) swapDocument(w, src);
    else navigateFrame(w, src);
  }

  function navigateFrame(w, src) {
    w.loaded = false;
    // Replacing keeps the browser's own history out of it: back and forward
    // are the client's.
    if (!w.el.getAttribute('src')) w.el.setAttribute('src', src);
    else w.el.contentWindow.location.replace(src);
    watchNewDocument(w, src);
  }

  const isContentPage = (src) => /^\/doc\/[^?#]*\.html?(?:[?#]|$)/.test(src || '');
  // What the head of a page brings to its look: its style sheets (by full
  // address) and style elements.
  function headLook(doc, base) {
    return JSON.stringify([...doc.querySelectorAll('head link[rel~="stylesheet"], head style')].map((el) =>
      el.tagName === 'STYLE' ? el.textContent : new URL(el.getAttribute('href') || '', base).href));
  }

  // Another page of the library in the frame that shows one: fetched and put
  // in place of the body shown, which spares the browser a whole navigation
  // (a new document, its style sheets and its layout from scratch). The
  // frame keeps its sandbox and its policy, the same for every page; a page
  // styled otherwise, or one that cannot be fetched, is navigated to.
  async function swapDocument(w, src) {
    let html = null;
    try {
      const response = await fetch(src, { credentials: 'same-origin', headers: keyHeaders() });
      if (response.ok && /^text\/html/.test(response.headers.get('content-type') || '')) html = await response.text();
    } catch (e) {
      html = null;
    }
    if (w.src !== src) return; // another navigation took over
    const doc = w.el.contentDocument;
    const url = new URL(src, location.href);
    const parsed = html === null ? null : new DOMParser().parseFromString(html, 'text/html');
    if (!doc || !doc.head || !doc.body || !parsed || !parsed.body ||
        headLook(parsed, url) !== headLook(doc, doc.baseURI)) {
      navigateFrame(w, src);
      return;
    }
    // The new page's relative addresses (pictures, links) resolve against
    // its own place.
    let base = doc.head.querySelector('base');
    if (!base) {
      base = doc.createElement('base');
      doc.head.prepend(base);
    }
    base.setAttribute('href', url.href);
    doc.title = parsed.title;
    doc.documentElement.lang = parsed.documentElement.lang;
    doc.documentElement.replaceChild(doc.adoptNode(parsed.body), doc.body);
    documentReady(w);
  }

  // The new document's clicks and navigations are ours from the moment it
  // exists, before it is parsed (a page whose style sheet never comes is
  // guarded as well); it counts as shown once it is parsed (its pictures may
  // still come).
  function watchNewDocument(w, src) {
    const wanted = new URL(src, location.href);
    const check = () => {
      if (w.src !== src) return; // another navigation took over
      const doc = w.el.contentDocument;
      const url = doc && new URL(doc.URL, location.href);
      if (doc && url.pathname === wanted.pathname && url.search === wanted.search) {
        guardContentDocument(w, doc);
        if (doc.readyState !== 'loading') {
          hookContentDocument(w);
          return;
        }
      }
      requestAnimationFrame(check);
    };
    requestAnimationFrame(check);
  }

  function documentShown(w) {
    requestAnimationFrame(() => {
      stats.docPainted = performance.now();
      stats.docSrc = w.src;
      stats.docShown = (stats.docShown || 0) + 1;
    });
  }

  function contextKind(doc, target) {
    const el = target && target.nodeType === 1 ? target : target && target.parentElement;
    if (el && el.closest('img')) return 'image';
    if (el && el.closest('input, button, select, textarea, label')) return 'control';
    const selection = doc.getSelection();
    return selection && selection.toString().trim() !== '' ? 'selection' : 'page';
  }

  // The link an event happened in (HTML and SVG links, image map areas) and
  // the address as the page writes it.
  const xlinkNs = 'http://www.w3.org/1999/xlink';
  function linkOf(target) {
    const el = target && target.nodeType === 1 ? target : target && target.parentElement;
    const link = el && el.closest ? el.closest('a, area') : null;
    if (!link) return null;
    const href = link.getAttribute('href') ?? link.getAttributeNS(xlinkNs, 'href');
    return href === null ? null : href;
  }

  // Where the document frame may go by itself: the pages of the library
  // (and the empty page a frame starts with). Anything else is stopped.
  const isOwnDocument = (url) => url.origin === location.origin && url.pathname.startsWith('/doc/');

  // Every way out of a content document is closed as soon as the document
  // exists: a click on anything with an address goes to the C++ view, which
  // routes it (web addresses to the desktop's handler), and any navigation
  // the frame would start by itself (a key, an animation, a link the click
  // handler never saw) is cancelled and routed the same way.
  const guarded = new WeakSet();
  function guardContentDocument(w, doc) {
    const win = doc && doc.defaultView;
    if (!win || guarded.has(doc)) return;
    guarded.add(doc);
    const id = w.op.win;
    const onClick = (e) => {
      const href = linkOf(e.target);
      const image = href === null && e.target.closest && e.target.closest('img[src]');
      if (href !== null) {
        e.preventDefault();
        e.stopImmediatePropagation();
        if (e.type === 'click') send({ type: 'doclink', win: id, href });
      } else if (image && e.type === 'click') {
        send({ type: 'doclink', win: id, href: image.getAttribute('src') });
      }
    };
    win.addEventListener('click', onClick, true);
    win.addEventListener('auxclick', onClick, true);
    const navigation = win.navigation;
    if (navigation) {
      navigation.addEventListener('navigate', (e) => {
        const url = new URL(e.destination.url);
        const wanted = new URL(w.src || 'about:blank', location.href);
        if (url.href === 'about:blank' || (isOwnDocument(url) && url.pathname === wanted.pathname)) return;
        if (e.cancelable) e.preventDefault();
        stats.stoppedNavigations = (stats.stoppedNavigations || 0) + 1;
        if (!isOwnDocument(url)) send({ type: 'doclink', win: id, href: url.href });
      });
    }
  }

  const hooked = new WeakSet();
  function hookContentDocument(w) {
    const doc = w.el.contentDocument;
    if (!doc || !doc.documentElement || hooked.has(doc)) return;
    hooked.add(doc);
    guardContentDocument(w, doc);
    w.loaded = true;
    const id = w.op.win;
    doc.addEventListener('dragstart', (e) => e.preventDefault());
    // The browser's own copy would take the page's markup as it stands: the
    // clipboard gets the text at once and the markup the client cleaned.
    doc.addEventListener('copy', (e) => {
      const selection = selectionOf(w);
      if (!selection) return;
      e.preventDefault();
      e.clipboardData.setData('text/plain', selection.text);
      send({ type: 'docselection', win: id, purpose: 'copy', html: selection.html, text: selection.text });
    });
    doc.addEventListener('mousedown', () => send({ type: 'docmouse', win: id }));
    doc.addEventListener('focusin', () => send({ type: 'docfocus', win: id }));
    doc.addEventListener('contextmenu', (e) => {
      e.preventDefault();
      send({ type: 'doccontext', win: id, kind: contextKind(doc, e.target),
        x: Math.round(e.clientX), y: Math.round(e.clientY) });
    });
    doc.addEventListener('keydown', (e) => {
      const typing = isTyping(e.target);
      wrapTab(w.el, doc, e);
      if (isClientShortcut(e, typing)) e.preventDefault();
      if (e.key === 'Escape' || isClientShortcut(e, typing))
        send({ type: 'dockey', win: id, code: 0, key: e.keyCode, mods: modsOf(e), typing, ch: charOf(e) });
    });
    documentReady(w);
  }

  // A page in place: at its anchor, its found words marked, and reported.
  function documentReady(w) {
    w.loaded = true;
    scrollToAnchor(w.el.contentDocument, anchorOf(w.src));
    if (w.markWords && w.markWords.length) markDocument(w);
    documentShown(w);
    send({ type: 'docloaded', win: w.op.win, src: w.src });
  }

  // The words a search found, marked in the document by the client (the
  // document's own scripts never run). Word forms are whole words, compared
  // in lower case with "ё" as "е"; what makes a word is the client's rule,
  // sent with the words as a character class.
  const foldWord = (word) => word.toLowerCase().replace(/ё/g, 'е');
  let wordSplitter = null;
  function setWordClass(wordClass) {
    try {
      wordSplitter = wordClass ? new RegExp(`([${wordClass}]+)`, 'u') : null;
    } catch (e) {
      wordSplitter = null;
    }
  }
  // The text in pieces, the words at odd places.
  const splitWords = (text) => (wordSplitter ? text.split(wordSplitter) : [text]);
  // The pieces of a text that the words given would mark (for the tests of
  // the rule).
  stats.markedWords = (text, words) => {
    const folded = new Set(words.map(foldWord));
    return splitWords(text).filter((part, i) => i % 2 === 1 && folded.has(foldWord(part)));
  };
  function markDocument(w) {
    const doc = w.el.contentDocument;
    if (!doc || !doc.body) return;
    for (const old of Array.from(doc.querySelectorAll('mark.kalimor-found'))) old.replaceWith(...old.childNodes);
    doc.body.normalize();
    const words = new Set((w.markWords || []).map(foldWord));
    w.marks = [];
    w.markIndex = -1;
    if (words.size > 0) {
      const walker = doc.createTreeWalker(doc.body, NodeFilter.SHOW_TEXT, {
        acceptNode: (node) => (node.parentElement && node.parentElement.closest('style, script, mark')
          ? NodeFilter.FILTER_REJECT : NodeFilter.FILTER_ACCEPT),
      });
      const texts = [];
      for (let node = walker.nextNode(); node; node = walker.nextNode()) texts.push(node);
      for (const node of texts) {
        const parts = splitWords(node.data);
        if (!parts.some((part, i) => i % 2 === 1 && words.has(foldWord(part)))) continue;
        const fragment = doc.createDocumentFragment();
        parts.forEach((part, i) => {
          if (i % 2 === 1 && words.has(foldWord(part))) {
            const mark = doc.createElement('mark');
            mark.className = 'kalimor-found';
            mark.textContent = part;
            fragment.appendChild(mark);
            w.marks.push(mark);
          } else if (part) {
            fragment.appendChild(doc.createTextNode(part));
          }
        });
        node.replaceWith(fragment);
      }
    }
    send({ type: 'docmarks', win: w.op.win, total: w.marks.length, current: 0 });
  }

  function moveMark(w, step) {
    const marks = w.marks || [];
    if (marks.length === 0) return;
    if (w.markIndex >= 0) marks[w.markIndex].classList.remove('current');
    w.markIndex = ((w.markIndex < 0 && step < 0 ? 0 : w.markIndex) + step + marks.length) % marks.length;
    marks[w.markIndex].classList.add('current');
    marks[w.markIndex].scrollIntoView({ block: 'center' });
    send({ type: 'docmarks', win: w.op.win, total: marks.length, current: w.markIndex + 1 });
  }

  // The selection's markup as the sandboxed document holds it, written out
  // in an inert document of its own (which loads nothing and runs nothing):
  // content markup never enters this page. The C++ side cleans it before it
  // goes anywhere.
  function selectionOf(w) {
    const doc = w.el && w.el.contentDocument;
    const selection = doc && doc.getSelection();
    if (!selection || selection.isCollapsed) return null;
    const inert = doc.implementation.createHTMLDocument('');
    const holder = inert.createElement('div');
    for (let i = 0; i < selection.rangeCount; ++i) holder.appendChild(inert.importNode(selection.getRangeAt(i).cloneContents(), true));
    return { html: holder.innerHTML, text: selection.toString() };
  }

  // What the C++ side cleaned goes to the clipboard as data, never parsed here.
  async function writeClipboard(w, html, text) {
    stats.copied = text;
    try {
      await navigator.clipboard.write([new ClipboardItem({
        'text/html': new Blob([html], { type: 'text/html' }),
        'text/plain': new Blob([text], { type: 'text/plain' }),
      })]);
    } catch (error) {
      const doc = w.el.contentDocument;
      if (!doc) return;
      const put = (e) => {
        e.preventDefault();
        e.stopImmediatePropagation();
        e.clipboardData.setData('text/html', html);
        e.clipboardData.setData('text/plain', text);
      };
      doc.addEventListener('copy', put, { capture: true, once: true });
      doc.execCommand('copy');
      doc.removeEventListener('copy', put, { capture: true });
    }
  }

  function runCommand(op) {
    const w = wins.get(op.win);
    if (!w) return;
    switch (op.cmd) {
      case 'print':
        stats.printed = (stats.printed || 0) + 1;
        if (w.el.contentWindow) w.el.contentWindow.print();
        break;
      case 'clipboard': writeClipboard(w, op.html || '', op.text || ''); break;
      case 'selection': {
        const selection = selectionOf(w) || { html: '', text: '' };
        send({ type: 'docselection', win: op.win, purpose: op.purpose || '', html: selection.html, text: selection.text });
        break;
      }
      case 'focus':
        if (w.el.contentWindow) w.el.contentWindow.focus();
        else w.wantsFocus = true;
        break;
      case 'scrollTo': {
        const doc = w.isDocument ? null : w.doc;
        if (doc && doc.scrollingElement) doc.scrollingElement.scrollTop = op.top || 0;
        break;
      }
      case 'mark':
        w.markWords = op.words || [];
        setWordClass(op.wordClass);
        if (w.loaded) markDocument(w);
        break;
      case 'markMove': moveMark(w, op.step || 1); break;
      default: break;
    }
  }

  // The client hears when the user leaves its window (pop-ups close then);
  // focus that only moved into one of its frames is no leaving.
  window.addEventListener('blur', () => setTimeout(() => {
    if (!document.hasFocus()) send({ type: 'activate', active: false });
  }, 0));
  window.addEventListener('focus', () => send({ type: 'activate', active: true }));

  let restoring = false;
  function apply(ops) {
    for (const op of ops) {
      if (op.op === 'win') upsertWindow(op);
      else if (op.op === 'destroy') destroyWindow(op.win);
      else if (op.op === 'dom') applyDom(op.win, op.ops);
      else if (op.op === 'cmd') runCommand(op);
    }
    updateModality();
    stats.batches += 1;
    requestAnimationFrame(() => { stats.applied = performance.now(); });
    notePainted();
  }

  // The first frame drawn with the main window and every page it shows
  // (timed by the benchmarks and the tests).
  function notePainted() {
    if (stats.painted) return;
    requestAnimationFrame(() => {
      const all = [...wins.values()];
      const frame = all.find((w) => w.op.kind === 'frame');
      if (!stats.painted && frame && frame.op.visible && all.every((w) => !w.op.html || w.hasPage || !w.op.visible)) {
        stats.painted = true;
        stats.paintedAt = performance.now();
      }
    });
  }

  function reset() {
    for (const id of [...wins.keys()]) destroyWindow(id);
    dialogHost.innerHTML = '';
  }

  function reportViewport() {
    send({ type: 'viewport', w: window.innerWidth, h: window.innerHeight });
  }
  window.addEventListener('resize', () => {
    reportViewport();
    for (const w of wins.values()) if (w.op.kind === 'dialog') place(w);
  });

  // The frames' requests (window pages, documents, their pictures) carry the
  // key through the page's worker; the windows come once it serves them. A
  // worker of an earlier run on the same port gives way to this run's.
  async function startWorker() {
    if (!navigator.serviceWorker) return;
    const script = new URL('/kalimor-sw.js?' + keyParam, location.href).href;
    try {
      const registration = await navigator.serviceWorker.register(script, { scope: '/', updateViaCache: 'none' });
      const ours = (worker) => !!worker && worker.scriptURL === script;
      const end = Date.now() + 5000;
      while (!(ours(registration.active) && ours(navigator.serviceWorker.controller)) && Date.now() < end) {
        await new Promise((resolve) => setTimeout(resolve, 20));
      }
    } catch (error) {
      console.error('kalimor: no worker for the frames', error);
    }
  }

  let stream = null;
  // A client that ended says so; one that was killed no longer answers at
  // all. Either way the page stops calling it: a new client has a new address.
  let ended = false;
  function showEnded() {
    if (ended) return;
    ended = true;
    if (stream) stream.close();
    reset();
    frameHost.classList.add('hidden');
    trayText.textContent = 'Калимор завершил работу. Это окно можно закрыть.';
    openButton.remove();
    tray.classList.add('shown');
    document.title = 'Калимор завершил работу';
  }
  // The stream opens at once (the client counts the page as there); what it
  // brings is applied once the worker serves the frames it makes, in order.
  const workerReady = startWorker();
  let applying = workerReady;
  const inOrder = (fn) => { applying = applying.then(fn).catch((error) => console.error('kalimor:', error)); };
  function connect() {
    if (ended) return;
    stream = new EventSource('/events?' + keyParam);
    stream.addEventListener('reset', (e) => inOrder(() => {
      reset();
      restoring = true;
      apply(JSON.parse(e.data));
      restoring = false;
      reportViewport();
    }));
    stream.addEventListener('patch', (e) => inOrder(() => apply(JSON.parse(e.data))));
    stream.addEventListener('ended', () => inOrder(showEnded));
    stream.addEventListener('error', () => {
      if (!ended) fetch('/bridge/app.css', { cache: 'no-store' }).catch(showEnded);
    });
  }
  connect();
  window.addEventListener('pagehide', () => {
    navigator.sendBeacon('/event?' + keyParam, JSON.stringify([{ type: 'close' }]));
  });
})();
