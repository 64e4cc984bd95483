// The client page's worker: adds the run's key to every request its frames
// make to the client (window pages, documents, their pictures and style
// sheets), which a browser would not otherwise do for a frame. The key comes
// in this script's own address. Requests for any other address pass by
// untouched, so a frame taken elsewhere sends nothing of the client's.
'use strict';
const key = new URL(self.location.href).searchParams.get('key') || '';
const keyHeader = 'X-Kalimor-Key';

self.addEventListener('install', () => self.skipWaiting());
self.addEventListener('activate', (event) => event.waitUntil(self.clients.claim()));

self.addEventListener('fetch', (event) => {
  const request = event.request;
  const url = new URL(request.url);
  // The change stream carries the key in its address and lives as long as
  // the page: it goes straight to the client, as do requests the page's
  // script has already given the key.
  if (url.origin !== self.location.origin || request.headers.has(keyHeader) || url.pathname === '/events') return;
  event.respondWith(withKey(request));
});

async function withKey(request) {
  const headers = new Headers(request.headers);
  headers.set(keyHeader, key);
  const init = {
    method: request.method, headers, credentials: 'omit', redirect: 'manual', referrerPolicy: 'no-referrer',
    cache: request.cache === 'only-if-cached' ? 'default' : request.cache,
  };
  if (request.method !== 'GET' && request.method !== 'HEAD') init.body = await request.arrayBuffer();
  return fetch(request.url, init);
}
