// registry tests follow
