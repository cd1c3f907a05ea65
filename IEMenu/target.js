// Remembers the element the context menu was opened on. The menu's click
// names no element, so the entry script, run later in this same frame and
// this same script world, reads what is kept here.
(() => {
  if (globalThis.mossgatherTarget !== undefined) return;
  globalThis.mossgatherTarget = null;
  // Capture phase on the window: the page cannot hide the event from us by
  // stopping it, and a page that cancels it keeps its own menu anyway.
  window.addEventListener(
    'contextmenu',
    (event) => {
      globalThis.mossgatherTarget = event.target instanceof Element ? event.target : null;
      // The background starts the host now, while the user picks an entry.
      const api = globalThis.browser ?? globalThis.chrome;
      try {
        api.runtime.sendMessage({ mossgather: 'menu' }).catch(() => {});
      } catch {
        // the extension was updated or removed under the page: nothing to warm
      }
    },
    true,
  );
})();
